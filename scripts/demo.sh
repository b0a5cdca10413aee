#!/usr/bin/env bash
# The demo: starts the simulator on its default fabric (three switches on 127.0.0.2-4, linked
# in a line) raising a trap every second, waits until it answers, runs a short tour of telvar
# commands against it, and stops the simulator on every path, Ctrl-C included. The simulator
# captures every datagram; the demo ends with tshark's line for each, decoded by our dissector.
# TELVAR_DEMO_NET moves the fabric to another /24 of loopback (default 127.0.0: the switches
# are .2, .3 and .4). What the demo writes goes to a temporary folder that it removes when it
# ends, however it ends; TELVAR_DEMO_OUT=DIR keeps the pictures and the capture in DIR.
set -euo pipefail

bin=${1:-build/bin}
net=${TELVAR_DEMO_NET:-127.0.0}
sw1=$net.2 sw2=$net.3 sw3=$net.4
out=${TELVAR_DEMO_OUT:-}
sim_pid=""
listen_pid=""
work=""

stop_simulator() {
    if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
        kill -INT "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
}
cleanup() {
    if [ -n "$listen_pid" ]; then kill "$listen_pid" 2>/dev/null || true; fi
    stop_simulator
    if [ -n "$work" ]; then rm -rf "$work"; fi
}
# Set before the folder is made, so that no moment leaves it behind.
trap cleanup EXIT
trap 'exit 130' INT TERM
work=$(mktemp -d "${TMPDIR:-/tmp}/telvar-demo.XXXXXX")
sim_out=$work/switchsim.out
capture=$work/demo.pcap
pictures=$work
if [ -n "$out" ]; then
    mkdir -p "$out"
    pictures=$out
fi

run() {
    echo
    echo "\$ telvar $*"
    "$bin/telvar" "$@"
}

echo "\$ switchsim --trap-every 1 --reset-time 1000 --capture demo.pcap &"
"$bin/switchsim" --base "$sw1" --trap-every 1 --reset-time 1000 --capture "$capture" \
    >"$sim_out" 2>&1 &
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
# What is attached to every port and the loop addresses still free; counters that grow; an
# online test that passes, then one on the faulty port 2, which fails.
run port_status -a "$sw1" all
run port_counts "$sw1" 1
sleep 1
run port_counts "$sw1" 1
run start_test -n 20 "$sw1" 3
run test_status "$sw1" 3
sleep 2.5
run test_status "$sw1" 3
run start_test -r -n 5 -w 1000 "$sw1" 2
run port_steering "$sw1" 3
run port_mfs_mode -M 4 "$sw1" 6
# Zoning: create a hard zone, read it back, then disable every hard zone.
run set_zone -e "$sw1" hd 3 1 2 5-7
run get_zone "$sw1" hd 3
run disable_zone_type "$sw1" hd
run get_zone "$sw1" hd 3
run get_wwn_zone "$sw1"
# The fabric: every switch's links, walked from the first; every device; the initiators.
run links "$sw1"
run nameserver "$sw1"
run initiators "$sw2"
# A port turned off takes its link down, and the third switch with it.
run port_state -s off "$sw2" 16
run links "$sw1"
run port_state -s on "$sw2" 16
# The third switch, reached through the first one by its Fibre Channel address.
# The fabric as pictures (SVG, for a browser): the map laid out by Graphviz, a switch's panel.
if command -v dot >/dev/null; then
    run map -o "$pictures/fabric-map.svg" "$sw1"
    run panel -o "$pictures/panel-sw1.svg" "$sw1" 1
    if [ -n "$out" ]; then
        echo "(the pictures are in $out)"
    else
        echo "(TELVAR_DEMO_OUT=DIR keeps the pictures; these go with the demo's temporary folder)"
    fi
fi

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

# Management variables: the port's settings as text.
run smlget "$sw1" show port 3
run smlset "$sw1" set port 3 speed 2
run smlget "$sw1" show port 3

# Traps: listen for a few seconds while the simulator raises them and a trap test runs beside.
run set_trap_config "$sw1" 13 on 4 0
echo
echo "\$ telvar trap_listen -port 0 -t 4 $sw1 &"
"$bin/telvar" trap_listen -port 0 -t 4 "$sw1" </dev/null &
listen_pid=$!
sleep 1.5
run trap_test -port 0 "$sw1" 13 9
wait "$listen_pid"
listen_pid=""

# The capture, decoded: complete once the simulator has stopped.
stop_simulator
if [ -n "$out" ]; then cp "$capture" "$out/demo.pcap"; fi
echo
dissector="$bin/../wireshark/telvar.lua"
if ! command -v tshark >/dev/null; then
    echo "(tshark is not installed, so the capture is not shown decoded: scripts/deps.sh demo" \
         "installs it)"
elif [ ! -f "$dissector" ]; then
    echo "(no dissector beside the programs, at $dissector: the capture is not shown decoded)"
else
    tshark=(tshark)
    if [ "$(id -u)" -eq 0 ] &&
        ! tshark -G protocols -X "lua_script:$dissector" 2>/dev/null | grep -q $'\ttelvar$'; then
        # This tshark runs no Lua script as root (run_user_scripts_when_superuser in its
        # init.lua): it reads the capture as nobody.
        # It reads the capture on its standard input, which this shell opens: nobody need
        # not reach into the private temporary folder.
        tshark=(setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env tshark)
    fi
    echo "\$ tshark -n -X lua_script:$dissector -r demo.pcap"
    "${tshark[@]}" -n -X "lua_script:$dissector" -r - <"$capture" 2> >(grep -v '^Running as user' >&2)
fi
echo
echo "Demo complete."
