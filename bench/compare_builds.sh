#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# Opens pictures with two builds of the program and with feh, taking turns, on the current X
# display, and prints one settle_timer line per open: round, picture, who, first frame (ms),
# settled (ms), peak memory (KiB). For a change's before and after, in one run.
#
#   bench/compare_builds.sh BEFORE_BENCH_DIR AFTER_BENCH_DIR ROUNDS PICTURE...
#
# The BENCH_DIRs are build-bench/bench folders of the two builds.
set -euo pipefail
before=$1 after=$2 rounds=$3
shift 3
feh=(feh -g 1000x700 --scale-down --auto-zoom)
for round in $(seq "$rounds"); do
    for picture in "$@"; do
        order=(before after feh)
        [ $((round % 2)) -eq 0 ] && order=(feh after before)
        for who in "${order[@]}"; do
            case $who in
            before) command=("$before/kavelora_open" "$picture") ;;
            after) command=("$after/kavelora_open" "$picture") ;;
            feh) command=("${feh[@]}" "$picture") ;;
            esac
            # As in bench.sh: quiet for longer than any decode, so the picture is what settles.
            figures=$("$after/settle_timer" --quiet 5000 --timeout 60000 -- "${command[@]}")
            echo "$round $(basename "$picture") $who $figures"
        done
    done
done
