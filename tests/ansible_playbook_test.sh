#!/bin/sh
# The example playbook (ansible/playbook.yml) against the simulator's default fabric, with a
# local connection: a check run plans without changing, the first run changes the zoning of
# both switches, the second finds nothing to change.
#   ansible_playbook_test.sh SWITCHSIM TELVAR SOURCE_DIR   (exit 77: ansible-core is missing)
set -u
sim=$1 telvar=$2 src=$3
command -v ansible-playbook >/dev/null 2>&1 || exit 77
work=$(mktemp -d)
"$sim" --base 127.0.111.2 >"$work/sim.log" 2>&1 &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null; wait $sim_pid 2>/dev/null; rm -rf "$work"' EXIT
i=0
until TELVARPORT=0 "$telvar" version 127.0.111.3 >/dev/null 2>&1; do
    i=$((i + 1)); [ $i -lt 50 ] || { echo "the simulator did not start"; cat "$work/sim.log"; exit 1; }
    sleep 0.1
done
cat >"$work/inventory.ini" <<INV
[switches]
sw1 switch_ip=127.0.111.2
sw2 switch_ip=127.0.111.3
[switches:vars]
ansible_connection=local
ansible_python_interpreter=/usr/bin/python3
telvar_bin=$telvar
INV
export ANSIBLE_NOCOLOR=1 ANSIBLE_LOCAL_TEMP="$work/tmp" ANSIBLE_HOME="$work/home"
# Prints the PLAY RECAP's "changed=" of both hosts, one a line.
run() {
    ansible-playbook -i "$work/inventory.ini" "$@" "$src/ansible/playbook.yml" >"$work/run.log" 2>&1 ||
        { cat "$work/run.log"; echo "ansible-playbook failed"; exit 1; }
    sed -n 's/^\(sw[12]\) .*changed=\([0-9]*\).*/\1 \2/p' "$work/run.log"
}
expect() {
    [ "$1" = "$2" ] || { cat "$work/run.log"; printf '%s: expected\n%s\ngot\n%s\n' "$3" "$2" "$1"; exit 1; }
}
two() { printf 'sw1 %s\nsw2 %s' "$1" "$1"; }
expect "$(run --check)" "$(two 1)" "check run"
expect "$(run)" "$(two 1)" "first run"
grep -q '14 devices, 3 switches' "$work/run.log" || { cat "$work/run.log"; echo "facts missing"; exit 1; }
expect "$(run)" "$(two 0)" "second run"
echo "ansible playbook: 3 runs, changed once"
