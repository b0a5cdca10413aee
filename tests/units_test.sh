#!/bin/sh
# The systemd units pass `systemd-analyze verify` and rate below 5.0 ("OK") in
# `systemd-analyze security --offline=true`: the exporter's and the watcher's units as the build
# configured them, their programs taken from the build.
#     units_test.sh UNIT_BUILD_DIR EXPORTER_BINARY WATCHER_BINARY
set -eu
units=$1
exporter=$2
watcher=$3
command -v systemd-analyze >/dev/null || { echo "units_test: no systemd-analyze (scripts/deps.sh test)"; exit 77; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "units_test: $*" >&2; exit 1; }

sed "s|^ExecStart=[^ ]*|ExecStart=$exporter|" "$units/telvar-exporter.service" >"$tmp/telvar-exporter.service"
sed "s|^ExecStart=[^ ]*|ExecStart=$watcher|" "$units/telvard.service" >"$tmp/telvard.service"
for unit in "$tmp"/*.service; do
    name=$(basename "$unit")
    systemd-analyze verify --man=no "$unit" >"$tmp/verify.out" 2>&1 || fail "$name: $(cat "$tmp/verify.out")"
    [ -s "$tmp/verify.out" ] && fail "$name: $(cat "$tmp/verify.out")"
    systemd-analyze security --offline=true --no-pager "$unit" >"$tmp/security.out" 2>&1 ||
        fail "$name: $(cat "$tmp/security.out")"
    score=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\) .*/\1/p' "$tmp/security.out")
    [ -n "$score" ] || fail "$name: no exposure level in: $(tail -3 "$tmp/security.out")"
    awk -v s="$score" 'BEGIN { exit !(s < 5.0) }' || fail "$name: exposure $score, not below 5.0"
    echo "units_test: $name verified, exposure $score"
done
