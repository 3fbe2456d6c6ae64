#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# check_sizes.sh SRC_DIR: fails when a source file passes 450 lines, or when one folder holds
# more than 40 % of the tree's lines in its own files (its sub-folders count apart). A folder
# that grows past that is doing more than one job.
set -uo pipefail
src=${1:?usage: check_sizes.sh SRC_DIR}
max_file_lines=450
max_folder_percent=40
failures=0

mapfile -t files < <(cd "$src" && find . -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.cpp.in' \) |
    sed 's|^\./||' | sort)
if [ "${#files[@]}" -eq 0 ]; then
    echo "no source files found below $src"
    exit 1
fi
declare -A folder_lines
total=0
for relative in "${files[@]}"; do
    lines=$(wc -l <"$src/$relative")
    total=$((total + lines))
    folder=$(dirname "$relative")
    folder_lines[$folder]=$((${folder_lines[$folder]:-0} + lines))
    if [ "$lines" -gt "$max_file_lines" ]; then
        echo "$relative: $lines lines, over $max_file_lines"
        failures=$((failures + 1))
    fi
done
for folder in $(printf '%s\n' "${!folder_lines[@]}" | sort); do
    share=$((100 * folder_lines[$folder] / total))
    printf '%-28s %6d lines %3d %%\n' "$folder/" "${folder_lines[$folder]}" "$share"
    if [ $((100 * folder_lines[$folder])) -gt $((max_folder_percent * total)) ]; then
        echo "$folder/: holds $share % of the $total lines, over $max_folder_percent %"
        failures=$((failures + 1))
    fi
done
echo "${#files[@]} files, $total lines, $failures size rule violations"
[ "$failures" -eq 0 ]
