#!/usr/bin/env bash
# Runs libFuzzer harnesses of build-fuzz/bin one after another, each for FUZZ_SECONDS seconds
# (default 30) or FUZZ_RUNS executions (default 10 million), whichever comes first, starting
# from a working copy of its seed corpus, with its dictionary (fuzz/dict) where it has one.
# Harness names after the folder pick some; none, all.
# Prints one line per harness: executions, executions a second, coverage (cov/ft: edges and
# features) at 10 s, at 60 s and at the end, when coverage last grew, and whether the harness
# found anything. Every line of a harness's output is stamped with the seconds since its start
# (build-fuzz/findings/<harness>/log.txt), so that coverage can be read against time; findings
# (crash-*, leak-*, timeout-*) are left beside it. With FUZZ_MERGE=1, what a run found that the
# seeds did not cover is added to the seed corpus (fuzz/corpus/<name>), for the next run to
# start from and for make test to replay.
set -uo pipefail

bin=${1:-build-fuzz/bin}
shift || true
seconds=${FUZZ_SECONDS:-30}
runs=${FUZZ_RUNS:-10000000}
work=$(dirname "$bin")/fuzz-work
findings=$(dirname "$bin")/findings
# No allocation stacks while fuzzing (a finding replayed on its own shows them): taking one for
# every allocation cost a quarter of the time of the document harnesses.
export ASAN_OPTIONS=${ASAN_OPTIONS:-malloc_context_size=0}
mkdir -p "$work" "$findings"

# Stamps each line read with the seconds since `start`.
stamp() {
    local start=$1 line
    while IFS= read -r line; do
        printf '%.1f %s\n' "$(bc_free_sub "$EPOCHREALTIME" "$start")" "$line"
    done
}
bc_free_sub() {  # $1 - $2, both "seconds.micros", to tenths
    local a=${1/./} b=${2/./}
    local d=$(( (10#$a - 10#$b) / 100000 ))
    printf '%d.%d' $((d / 10)) $((d % 10))
}

# From a stamped log: "executions exec/s cov/ft@10s cov/ft@60s cov/ft@end last-growth-s".
summary() {
    awk '
        function covft(s,   c, f) {
            c = s; sub(/.* cov: /, "", c); sub(/ .*/, "", c)
            f = s; sub(/.* ft: /, "", f); sub(/ .*/, "", f)
            return c "/" f
        }
        / cov: / {
            t = $1 + 0; now = covft($0)
            if (t <= 10) at10 = now
            if (t <= 60) at60 = now
            last = now
            if (now != seen) { grew = t; seen = now }
        }
        /stat::number_of_executed_units:/ { execs = $NF }
        /stat::average_exec_per_sec:/ { rate = $NF }
        END {
            if (at10 == "") at10 = "-"
            if (at60 == "") at60 = "-"
            printf "%s %s %s %s %s %s\n", execs == "" ? "?" : execs, rate == "" ? "?" : rate,
                   at10, at60, last == "" ? "?" : last, grew == "" ? "?" : grew
        }' "$1"
}

harnesses=()
if [ $# -gt 0 ]; then
    for name in "$@"; do harnesses+=("$bin/$name"); done
else
    harnesses=("$bin"/fuzz_*)
fi

status=0
printf '%-22s %11s %8s %13s %13s %13s %9s  %s\n' harness executions exec/s 'cov/ft 10s' \
    'cov/ft 60s' 'cov/ft end' 'grew at' result
for h in "${harnesses[@]}"; do
    name=$(basename "$h")
    corpus=${name#fuzz_}
    mkdir -p "$work/$corpus" "$findings/$name"
    cp -n fuzz/corpus/"$corpus"/* "$work/$corpus/" 2>/dev/null
    log="$findings/$name/log.txt"
    dict=()
    case $corpus in
        snapshot_diff | pictures | locate) dict=(-dict="$PWD/fuzz/dict/snapshot.dict") ;;
        *) [ -f "fuzz/dict/$corpus.dict" ] && dict=(-dict="$PWD/fuzz/dict/$corpus.dict") ;;
    esac
    start=$EPOCHREALTIME
    (cd "$findings/$name" && "$OLDPWD/$h" -max_total_time="$seconds" -runs="$runs" "${dict[@]}" \
        -print_final_stats=1 -rss_limit_mb=4096 "$OLDPWD/$work/$corpus" 2>&1) | stamp "$start" >"$log"
    rc=${PIPESTATUS[0]}
    if [ "${FUZZ_MERGE:-0}" = 1 ] && [ "$rc" -eq 0 ]; then
        "$h" -merge=1 "fuzz/corpus/$corpus" "$work/$corpus" >"$findings/$name/merge.txt" 2>&1
    fi
    read -r execs rate at10 at60 last grew < <(summary "$log")
    result=ok
    if [ "$rc" -ne 0 ]; then result="FOUND SOMETHING (see $log)"; status=1; fi
    printf '%-22s %11s %8s %13s %13s %13s %8ss  %s\n' "$name" "$execs" "$rate" "$at10" "$at60" \
        "$last" "$grew" "$result"
done
exit $status
