#!/usr/bin/env bash
# Runs every libFuzzer harness of build-fuzz/bin for FUZZ_SECONDS seconds each (default 30),
# starting from a working copy of its seed corpus, and prints one line per harness: executions,
# coverage, and whether it found anything. Findings (crash-*, leak-*, timeout-*) are left in
# build-fuzz/findings/<harness>/.
set -uo pipefail

bin=${1:-build-fuzz/bin}
seconds=${FUZZ_SECONDS:-30}
work=$(dirname "$bin")/fuzz-work
findings=$(dirname "$bin")/findings
mkdir -p "$work" "$findings"
status=0
printf '%-22s %12s %10s %10s  %s\n' harness executions coverage exec/s result
for h in "$bin"/fuzz_*; do
    name=$(basename "$h")
    corpus=${name#fuzz_}
    mkdir -p "$work/$corpus" "$findings/$name"
    cp -n fuzz/corpus/"$corpus"/* "$work/$corpus/" 2>/dev/null
    log="$findings/$name/log.txt"
    (cd "$findings/$name" && "$OLDPWD/$h" -max_total_time="$seconds" -print_final_stats=1 \
        -rss_limit_mb=4096 "$OLDPWD/$work/$corpus" >"$log" 2>&1)
    rc=$?
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*')
    rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$')
    result=ok
    if [ $rc -ne 0 ]; then result="FOUND SOMETHING (see $log)"; status=1; fi
    printf '%-22s %12s %10s %10s  %s\n' "$name" "${runs:-?}" "${cov:-?}" "${rate:-?}" "$result"
done
exit $status
