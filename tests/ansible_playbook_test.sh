#!/bin/sh
# The example playbook (ansible/playbook.yml) against the simulator's default fabric, with a
# local connection: a check run plans without changing, the first run changes the zoning of
# both switches, the second finds nothing to change.
# Then against a fabric that requires a login, with the user and password of the inventory: a
# check run with --diff shows each switch's plan, the password reaches telvar only in its
# environment and shows nowhere in Ansible's output, the zoning changes once, and a wrong
# password fails the play.
#   ansible_playbook_test.sh SWITCHSIM TELVAR SOURCE_DIR   (exit 77: ansible-core is missing)
set -u
sim=$1 telvar=$2 src=$3
command -v ansible-playbook >/dev/null 2>&1 || exit 77
work=$(mktemp -d)
sim_pids=""
trap 'for p in $sim_pids; do kill $p 2>/dev/null; wait $p 2>/dev/null; done; rm -rf "$work"' EXIT

# start_fabric BASE [SWITCHSIM OPTIONS]: the default fabric at BASE, BASE+1, BASE+2, answering.
start_fabric() {
    base=$1; shift
    "$sim" --base "$base" "$@" >"$work/sim-$base.log" 2>&1 &
    sim_pids="$sim_pids $!"
    i=0
    until TELVARPORT=0 "$telvar" version "$base" >/dev/null 2>&1; do
        i=$((i + 1)); [ $i -lt 50 ] || { echo "the simulator did not start"; cat "$work/sim-$base.log"; exit 1; }
        sleep 0.1
    done
}
# inventory FILE NET [VARIABLE=VALUE...]: switches NET.2 and NET.3.
inventory() {
    file=$1 net=$2; shift 2
    printf '[switches]\nsw1 switch_ip=%s.2\nsw2 switch_ip=%s.3\n[switches:vars]\n' "$net" "$net" >"$file"
    printf 'ansible_connection=local\nansible_python_interpreter=/usr/bin/python3\n' >>"$file"
    for v in "$@"; do echo "$v" >>"$file"; done
}
export ANSIBLE_NOCOLOR=1 ANSIBLE_LOCAL_TEMP="$work/tmp" ANSIBLE_HOME="$work/home"
# run INVENTORY [OPTIONS]: prints the PLAY RECAP's "changed=" of both hosts, one a line.
run() {
    inv=$1; shift
    ansible-playbook -i "$inv" "$@" "$src/ansible/playbook.yml" >"$work/run.log" 2>&1 ||
        { cat "$work/run.log"; echo "ansible-playbook failed"; exit 1; }
    sed -n 's/^\(sw[12]\) .*changed=\([0-9]*\).*/\1 \2/p' "$work/run.log"
}
fail() { cat "$work/run.log"; echo "$1"; exit 1; }
expect() {
    [ "$1" = "$2" ] || { cat "$work/run.log"; printf '%s: expected\n%s\ngot\n%s\n' "$3" "$2" "$1"; exit 1; }
}
two() { printf 'sw1 %s\nsw2 %s' "$1" "$1"; }

start_fabric 127.0.111.2
inventory "$work/open.ini" 127.0.111 "telvar_bin=$telvar"
expect "$(run "$work/open.ini" --check)" "$(two 1)" "check run"
expect "$(run "$work/open.ini")" "$(two 1)" "first run"
grep -q '14 devices, 3 switches' "$work/run.log" || fail "facts missing"
expect "$(run "$work/open.ini")" "$(two 0)" "second run"

# A fabric that requires a login, with a password of the test's own on both switches, so that
# finding it anywhere is a leak. telvar runs through a wrapper that records its command lines
# and whether the password was in its environment.
start_fabric 127.0.112.2 --login-required
pw=Kq7vZ2x
for ip in 127.0.112.2 127.0.112.3; do
    TELVARPORT=0 "$telvar" passwd -u admin -p password "$ip" "$pw" >/dev/null || { echo "passwd $ip failed"; exit 1; }
done
cat >"$work/telvar" <<WRAP
#!/bin/sh
echo "\${TELVAR_PASSWORD:+password in the environment: }\$*" >>"$work/argv.log"
exec "$telvar" "\$@"
WRAP
chmod +x "$work/telvar"
inventory "$work/login.ini" 127.0.112 "telvar_bin=$work/telvar" telvar_user=admin "telvar_password=$pw"

expect "$(run "$work/login.ini" --check --diff -vvv)" "$(two 1)" "check run with a login"
# The diff is the plan; hard zones 1 and 2 exist only on the first switch.
[ "$(grep -c '^  hard zone 4: ports none, disabled -> ports 9 10, enabled$' "$work/run.log")" = 2 ] ||
    fail "no plan of zone 4 in the diff of both switches"
grep -q '^zoning of 10:00:00:00:5e:01:00:00: plan$' "$work/run.log" || fail "no plan header for sw1"
grep -q '^  hard zone 1: ports 1 2 3, enabled -> ports none, disabled$' "$work/run.log" || fail "no plan of zone 1"
# The name server reads only after a login: its devices show that the facts logged in.
grep -q '"msg": "14 devices' "$work/run.log" || fail "the facts did not log in"
if grep -q "$pw" "$work/run.log" "$work/argv.log"; then
    cat "$work/argv.log"; fail "the password shows in Ansible's output or on telvar's command line"
fi
[ "$(grep -c '^password in the environment: .* -u admin 127\.0\.112\.[23]' "$work/argv.log")" = 4 ] ||
    { cat "$work/argv.log"; fail "telvar was not run with -u and the password in its environment"; }

expect "$(run "$work/login.ini")" "$(two 1)" "first run with a login"
expect "$(run "$work/login.ini")" "$(two 0)" "second run with a login"
if ansible-playbook -i "$work/login.ini" -e telvar_password=wrong "$src/ansible/playbook.yml" >"$work/run.log" 2>&1; then
    fail "a wrong password did not fail the play"
fi
grep -q 'Invalid UserID or Password' "$work/run.log" || fail "a wrong password: no message"
echo "ansible playbook: 3 runs, changed once; with a login: a check run with its diff, 2 runs, a wrong password"
