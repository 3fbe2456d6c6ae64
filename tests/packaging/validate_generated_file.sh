#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
#
# validate_generated_file.sh desktop|metainfo|man FILE
# Runs Debian's validator for that kind of file on it (for a manual page, man's formatter with
# its warnings on) and fails when the validator fails or prints any error or warning. Exits 77,
# which CTest counts as skipped, when the validator is not installed.
set -uo pipefail

kind=${1:-}
file=${2:-}
case $kind in
desktop)
    tool=desktop-file-validate package=desktop-file-utils complaint='(error|warning):'
    validate=(desktop-file-validate "$file")
    ;;
metainfo)
    tool=appstreamcli package=appstream complaint='^[EW]: '
    validate=(appstreamcli validate --no-net "$file")
    ;;
man)
    # The formatted page goes to standard output and every warning to standard error; the
    # inner shell expands $1.
    tool=man package=man-db complaint='.'
    # shellcheck disable=SC2016
    validate=(sh -c 'LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$1" 2>&1 >/dev/null' - "$file")
    ;;
*)
    echo "usage: validate_generated_file.sh desktop|metainfo|man FILE" >&2
    exit 64
    ;;
esac
if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (Debian package $package), so $file is not validated"
    exit 77
fi
if [ ! -s "$file" ]; then
    echo "FAIL: $file was not generated"
    exit 1
fi
output=$(timeout 60 "${validate[@]}" 2>&1)
status=$?
[ -n "$output" ] && printf '%s\n' "$output"
if [ "$status" -ne 0 ]; then
    echo "FAIL: $tool exits with $status on $file"
    exit 1
fi
if grep -qE "$complaint" <<<"$output"; then
    echo "FAIL: $tool complains about $file"
    exit 1
fi
echo "PASS: $tool accepts $file"
