#!/usr/bin/env bash
# The demo: starts the simulator on its default fabric (three switches on 127.0.0.2-4, linked
# in a line), waits until it answers, runs a short tour of telvar commands against it, and
# stops the simulator on every path, Ctrl-C included. TELVAR_DEMO_NET moves the fabric to
# another /24 of loopback (default 127.0.0: the switches are .2, .3 and .4).
set -euo pipefail

bin=${1:-build/bin}
net=${TELVAR_DEMO_NET:-127.0.0}
sw1=$net.2 sw2=$net.3 sw3=$net.4
sim_out=$(mktemp)
sim_pid=""

stop_simulator() {
    if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
        kill -INT "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -f "$sim_out"
}
trap stop_simulator EXIT
trap 'exit 130' INT TERM

run() {
    echo
    echo "\$ telvar $*"
    "$bin/telvar" "$@"
}

echo "\$ switchsim &"
"$bin/switchsim" --base "$sw1" --reset-time 1000 >"$sim_out" 2>&1 &
sim_pid=$!

# Wait until the first switch answers (at most about 10 s).
for _ in $(seq 40); do
    if ! kill -0 "$sim_pid" 2>/dev/null; then
        echo "switchsim did not start:" >&2
        cat "$sim_out" >&2
        exit 1
    fi
    "$bin/telvar" version -port 0 "$sw1" >/dev/null 2>&1 && break
    sleep 0.25
done
head -n 1 "$sim_out"

run discover "$net.1" 9
for ip in "$sw1" "$sw2" "$sw3"; do
    run version "$ip"
done
run chassis_status "$sw2"
run port_state "$sw1" all
run port_state -s off "$sw1" 6
run port_state -s on "$sw1" 6
run port_type "$sw1" all
# The third switch, reached through the first one by its Fibre Channel address.
run version -f 10c000 "$sw1"
run port_state -f 10c000 "$sw1" 3
# Switch configuration: a timeout changed and saved survives a reset; a defaults file.
run chassis_mode "$sw1"
run chassis_tovs -s -e 2500 "$sw1"
run chassis_tovs -e 3000 "$sw1"
run switch_reset "$sw1"
sleep 1.5  # the switch is silent while it restarts
run chassis_tovs "$sw1"
defaults_file=docs/switch-defaults.txt
[ -f "$defaults_file" ] || defaults_file="$(dirname "$0")/../$defaults_file"
run defaults "$sw2" "$defaults_file"
run chassis_tovs "$sw2"
echo
echo "Demo complete."
