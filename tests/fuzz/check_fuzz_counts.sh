#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# check_fuzz_counts.sh SUMMARY: SUMMARY has a line per fuzz target, TARGET<tab>fast|slow<tab>
# EXECUTIONS (empty when the run gave no count). Prints a line per target and the total, and
# fails when a fast target ran under 100,000 executions or all of them under 3,000,000.
set -uo pipefail
if [ $# -ne 1 ] || [ ! -r "$1" ]; then
    echo "usage: $0 SUMMARY" >&2
    exit 64
fi
awk -F '\t' -v fast_minimum=100000 -v total_minimum=3000000 '
    NF == 0 { next }
    {
        executions = $3 + 0
        short = $2 == "fast" && executions < fast_minimum
        printf "%-22s %-4s %10d executions%s\n", $1, $2, executions,
            short ? "  (under " fast_minimum ")" : ""
        total += executions
        shorts += short
    }
    END {
        printf "fuzzers: %d executions in all%s\n", total,
            total < total_minimum ? " (under " total_minimum ")" : ""
        exit shorts > 0 || total < total_minimum
    }' "$1"
