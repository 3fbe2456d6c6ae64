#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# tst_check_fuzz_counts.sh CHECK: runs check_fuzz_counts.sh on a summary per row and fails when
# its verdict is not the row's.
set -uo pipefail
check=${1:?usage: tst_check_fuzz_counts.sh CHECK}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# row NAME EXPECTED_EXIT SUMMARY_LINES...
row() {
    local name=$1 expected=$2 status
    shift 2
    printf '%s\n' "$@" >"$work/summary.tsv"
    "$check" "$work/summary.tsv" >"$work/output" 2>&1
    status=$?
    if [ "$status" -ne "$expected" ]; then
        echo "FAIL $name: exit $status, expected $expected"
        cat "$work/output"
        failures=$((failures + 1))
    else
        echo "PASS $name"
    fi
}

T=$'\t'
row "every fast target and the total over their minimum" 0 \
    "fuzz_prechecks${T}fast${T}2900000" "fuzz_bmp_reader${T}fast${T}100000" \
    "fuzz_load_picture${T}slow${T}5000"
row "a slow target under 100,000 passes" 0 \
    "fuzz_prechecks${T}fast${T}3000000" "fuzz_heif_reader${T}slow${T}900"
row "a fast target one short of 100,000" 1 \
    "fuzz_prechecks${T}fast${T}3000000" "fuzz_bmp_reader${T}fast${T}99999"
row "the total one short of 3,000,000" 1 \
    "fuzz_prechecks${T}fast${T}2899999" "fuzz_bmp_reader${T}fast${T}100000"
row "a fast target that gave no count" 1 \
    "fuzz_prechecks${T}fast${T}3000000" "fuzz_gif_reader${T}fast${T}"
row "no target ran" 1 ""
[ "$failures" -eq 0 ]
