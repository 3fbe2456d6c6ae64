#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# run_fuzzer.sh FUZZER SECONDS SEED_DIR REGRESSION_DIR [MIN_EXECUTIONS]
# Replays every committed regression input once, then fuzzes for SECONDS from the seeds and
# the regressions in a fresh working corpus. A machine slower than the one the seconds were
# chosen on must not fail the run: when the timed run fell short of MIN_EXECUTIONS, a second
# run on the corpus the first one grew makes up the difference, for at most twice SECONDS.
# Fails on any finding (crash, sanitizer report, hang over 10 s, single allocation over
# 300 MiB) and when the timed run stopped short of SECONDS.
# A finding is kept in the working folder; add it to REGRESSION_DIR with the fix. Inputs that
# took a second or more are kept there too (slow-unit-*), and the slowest is reported, but
# they fail nothing short of the hang limit.
set -uo pipefail
if [ $# -lt 4 ] || [ $# -gt 5 ]; then
    echo "usage: $0 FUZZER SECONDS SEED_DIR REGRESSION_DIR [MIN_EXECUTIONS]" >&2
    exit 64
fi
fuzzer=$1 seconds=$2 seeds=$3 regressions=$4 minimum=${5:-0}
work=$(mktemp -d "${TMPDIR:-/tmp}/kavelora-fuzz.XXXXXX")
mkdir -p "$work/corpus" "$work/findings"
limits=(-timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=300)
# Leaks in third-party libraries that cannot be mended here, each with its reason there.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/sanitizer/lsan.supp:print_suppressions=0"
passed=0
failed=0

mapfile -d '' inputs < <(find "$regressions" -type f -print0 | sort -z)
if [ "${#inputs[@]}" -eq 0 ]; then
    echo "no regression inputs in $regressions"
    failed=$((failed + 1))
elif "$fuzzer" "${limits[@]}" "${inputs[@]}" >"$work/replay.log" 2>&1; then
    echo "replayed ${#inputs[@]} regression inputs: no finding"
    passed=$((passed + 1))
else
    echo "a regression input fails again:"
    tail -n 40 "$work/replay.log"
    failed=$((failed + 1))
fi

# fuzz_run LOG ARGS...: one libFuzzer run over the working corpus; its exit status.
fuzz_run() {
    local log=$1
    shift
    "$fuzzer" "${limits[@]}" "$@" -print_final_stats=1 -report_slow_units=1 \
        -artifact_prefix="$work/findings/" "$work/corpus" "$seeds" "$regressions" >"$log" 2>&1
}
# figure LOG NAME: a figure of a run's final statistics, 0 when it printed none.
figure() { sed -n "s/^stat::$2: *//p" "$1" | tail -n 1 | grep . || echo 0; }

fuzz_run "$work/fuzz.log" -max_total_time="$seconds"
status=$?
ran_seconds=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$work/fuzz.log")
executions=$(figure "$work/fuzz.log" number_of_executed_units)
new_inputs=$(figure "$work/fuzz.log" new_units_added)
peak_rss=$(figure "$work/fuzz.log" peak_rss_mb)
timed_executions=$executions
logs=("$work/fuzz.log")
if [ "$status" -eq 0 ] && [ "$executions" -lt "$minimum" ]; then
    fuzz_run "$work/top-up.log" -runs=$((minimum - executions)) \
        -max_total_time=$((2 * seconds))
    status=$?
    logs+=("$work/top-up.log")
    echo "topped up $executions executions in ${ran_seconds:-0} s to the $minimum asked for"
    executions=$((executions + $(figure "$work/top-up.log" number_of_executed_units)))
    new_inputs=$((new_inputs + $(figure "$work/top-up.log" new_units_added)))
    top_up_peak=$(figure "$work/top-up.log" peak_rss_mb)
    [ "$top_up_peak" -gt "$peak_rss" ] && peak_rss=$top_up_peak
fi
findings=$(find "$work/findings" -type f ! -name 'slow-unit-*' | wc -l)
slowest=$(sed -n 's/^Slowest unit: \([0-9]*\) s.*/\1/p' "${logs[@]}" | sort -n | tail -n 1)
if [ "$status" -ne 0 ] || [ "$findings" -gt 0 ]; then
    echo "the fuzzer found a fault (exit $status); its inputs are in $work/findings:"
    ls -l "$work/findings"
    grep -h -E 'ERROR|SUMMARY|runtime error|#[0-9]+ 0x' "${logs[@]}" | head -n 40
    failed=$((failed + 1))
else
    passed=$((passed + 1))
fi
if [ -z "$ran_seconds" ] || [ "$ran_seconds" -lt "$seconds" ]; then
    echo "the fuzzer ran ${ran_seconds:-0} s, not the $seconds s asked for"
    failed=$((failed + 1))
else
    passed=$((passed + 1))
fi
rate=0
if [ -n "$ran_seconds" ] && [ "$ran_seconds" -gt 0 ]; then
    rate=$((timed_executions / ran_seconds))
fi
echo "fuzzer: $executions executions in ${ran_seconds:-0} s (${rate}/s)," \
    "$new_inputs new inputs, peak $peak_rss MB, slowest input ${slowest:-<1} s," \
    "$findings findings"
[ "$failed" -eq 0 ] && rm -rf "$work"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
