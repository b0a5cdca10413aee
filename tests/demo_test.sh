#!/bin/sh
# The demo (scripts/demo.sh) leaves nothing behind: its temporary folder is gone and its
# simulator stopped when it completes, when the simulator cannot start, and when it is
# stopped halfway by a signal. Each run gets a TMPDIR of its own, which must end empty.
#   demo_test.sh BIN_DIR SOURCE_DIR
set -u
bin=$1 src=$2
net=127.0.170
t=$(mktemp -d)
demo_pid=""
trap 'if [ -n "$demo_pid" ]; then kill "$demo_pid" 2>/dev/null; fi; rm -rf "$t"' EXIT

fail() { echo "$1"; [ -f "$t/demo.log" ] && tail -n 30 "$t/demo.log"; exit 1; }
# left_behind CASE: fails when the run's TMPDIR holds anything, or the simulator still answers.
left_behind() {
    if [ -n "$(ls -A "$t/tmp")" ]; then ls -lR "$t/tmp"; fail "$1: the demo left files behind"; fi
    if TELVARPORT=0 "$bin/telvar" version "$net.2" >/dev/null 2>&1; then fail "$1: the simulator still runs"; fi
}
fresh_tmp() { rm -rf "$t/tmp"; mkdir "$t/tmp"; }

# A whole run.
fresh_tmp
(cd "$src" && TMPDIR="$t/tmp" TELVAR_DEMO_NET=$net scripts/demo.sh "$bin") >"$t/demo.log" 2>&1 ||
    fail "the demo failed"
grep -q '^Demo complete\.$' "$t/demo.log" || fail "the demo did not complete"
left_behind "a whole run"

# A simulator that does not start: the demo fails, and still cleans up.
fresh_tmp
mkdir "$t/bad-bin"
printf '#!/bin/sh\necho "switchsim: cannot serve" >&2\nexit 3\n' >"$t/bad-bin/switchsim"
chmod +x "$t/bad-bin/switchsim"
ln -s "$bin/telvar" "$t/bad-bin/telvar"
if (cd "$src" && TMPDIR="$t/tmp" TELVAR_DEMO_NET=$net scripts/demo.sh "$t/bad-bin") >"$t/demo.log" 2>&1; then
    fail "a simulator that does not start: the demo succeeded"
fi
grep -q 'switchsim did not start' "$t/demo.log" || fail "a simulator that does not start: no message"
left_behind "a simulator that does not start"

# Stopped by SIGTERM once the tour has begun, with the simulator running.
fresh_tmp
(cd "$src" && TMPDIR="$t/tmp" TELVAR_DEMO_NET=$net exec scripts/demo.sh "$bin") >"$t/demo.log" 2>&1 &
demo_pid=$!
i=0
until grep -q 'telvar port_state' "$t/demo.log"; do
    i=$((i + 1)); [ $i -lt 300 ] || fail "a stopped run: the tour did not begin"
    sleep 0.1
done
[ -n "$(ls -A "$t/tmp")" ] || fail "a stopped run: no temporary folder while it runs"
kill -TERM "$demo_pid"
wait "$demo_pid"
status=$?
demo_pid=""
[ "$status" = 130 ] || fail "a stopped run: exit status $status, not 130"
left_behind "a stopped run"
echo "demo: a whole run, a failed start and a stopped run leave nothing behind"
