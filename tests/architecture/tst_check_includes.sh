#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# tst_check_includes.sh: the include check, run on a tree that breaks each of its rules in one
# file and keeps them in the others, must fail once for every rule and for nothing else.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
output=$("$here/check_includes.sh" "$here/violations")
status=$?
echo "$output"
if [ "$status" -eq 0 ]; then
    echo "FAIL: the check passed a tree that breaks its rules"
    exit 1
fi
fired=$(sed -n 's/^\[\([a-z-]*\)\].*/\1/p' <<<"$output" | sort)
expected=$("$here/check_includes.sh" --rules | sort)
if [ "$fired" != "$expected" ]; then
    echo "FAIL: each rule should fail exactly once; differences (< fired, > expected):"
    diff <(echo "$fired") <(echo "$expected")
    exit 1
fi
echo "PASS: $(wc -l <<<"$expected") rules, each failed once"
