#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# run_fuzzer.sh FUZZER SECONDS SEED_DIR REGRESSION_DIR
# Replays every committed regression input once, then fuzzes for SECONDS from the seeds and
# the regressions in a fresh working corpus. Fails on any finding (crash, sanitizer report,
# hang over 10 s, single allocation over 300 MiB) and when the run stopped short of SECONDS.
# A finding is kept in the working folder; add it to REGRESSION_DIR with the fix. Inputs that
# took a second or more are kept there too (slow-unit-*), and the slowest is reported, but
# they fail nothing short of the hang limit.
set -uo pipefail
if [ $# -ne 4 ]; then
    echo "usage: $0 FUZZER SECONDS SEED_DIR REGRESSION_DIR" >&2
    exit 64
fi
fuzzer=$1 seconds=$2 seeds=$3 regressions=$4
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

"$fuzzer" "${limits[@]}" -max_total_time="$seconds" -print_final_stats=1 -report_slow_units=1 \
    -artifact_prefix="$work/findings/" "$work/corpus" "$seeds" "$regressions" \
    >"$work/fuzz.log" 2>&1
status=$?
ran_seconds=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$work/fuzz.log")
executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/fuzz.log")
new_inputs=$(sed -n 's/^stat::new_units_added: *//p' "$work/fuzz.log")
peak_rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$work/fuzz.log")
findings=$(find "$work/findings" -type f ! -name 'slow-unit-*' | wc -l)
slowest=$(sed -n 's/^Slowest unit: \([0-9]*\) s.*/\1/p' "$work/fuzz.log" | sort -n | tail -n 1)
if [ "$status" -ne 0 ] || [ "$findings" -gt 0 ]; then
    echo "the fuzzer found a fault (exit $status); its inputs are in $work/findings:"
    ls -l "$work/findings"
    grep -E 'ERROR|SUMMARY|runtime error|#[0-9]+ 0x' "$work/fuzz.log" | head -n 40
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
    rate=$((${executions:-0} / ran_seconds))
fi
echo "fuzzer: ${executions:-0} executions in ${ran_seconds:-0} s (${rate}/s)," \
    "${new_inputs:-0} new inputs, peak ${peak_rss:-?} MB, slowest input ${slowest:-<1} s," \
    "$findings findings"
[ "$failed" -eq 0 ] && rm -rf "$work"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
