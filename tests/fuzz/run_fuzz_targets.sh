#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# run_fuzz_targets.sh FUZZ_BUILD_DIR HOSTILE_SEED_DIR
# Runs each fuzz target of the table below through run_fuzzer.sh, as many at once as there
# are cores, then prints each run's report and a line per target with its executions. Fails on
# any finding, and when a fast target ran under 100,000 executions or all of them under
# 3,000,000 (check_fuzz_counts.sh).
set -uo pipefail
if [ $# -ne 2 ]; then
    echo "usage: $0 FUZZ_BUILD_DIR HOSTILE_SEED_DIR" >&2
    exit 64
fi
build="$1/tests/fuzz" hostile_seeds=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kavelora-fuzz-targets.XXXXXX")
trap 'rm -rf "$work"' EXIT
regressions="$here/regressions"
parallel=$(nproc)

# seeds NAME PATTERN...: a folder of the seed pictures whose names match a PATTERN.
seeds() {
    local folder="$work/seeds/$1" pattern
    shift
    mkdir -p "$folder"
    for pattern in "$@"; do
        find "$hostile_seeds" "$here/reader_seeds" -maxdepth 1 -type f -name "$pattern" \
            -exec cp -t "$folder" {} +
    done
    echo "$folder"
}

# fuzz TARGET SECONDS fast|slow SEED_DIR REGRESSION_DIR: runs TARGET in the background once
# fewer than $parallel runs are going. A fast target runs on past SECONDS, when the machine is
# slower than this one, until it reaches 100,000 executions.
fuzz() {
    while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do
        wait -n
    done
    printf '%s\t%s\n' "$1" "$3" >>"$work/order"
    local minimum=0
    [ "$3" = fast ] && minimum=100000
    ("$here/run_fuzzer.sh" "$build/$1" "$2" "$4" "$5" "$minimum" >"$work/$1.log" 2>&1
        echo $? >"$work/$1.status") &
}

# The seconds give each fast target twice the 100,000 executions it needs, and all of them
# twice the 3,000,000, at the rates measured here with two runs at once under the sanitizers
# on a two-core machine shared with other work. The whole decode is held to finding nothing.
# Longest first, so that the runs end together.
#    target                seconds  speed  seeds                          replayed inputs
fuzz fuzz_prechecks            200  fast   "$hostile_seeds"               "$regressions"
fuzz fuzz_jxl_reader           100  fast   "$(seeds jxl '*.jxl')"         "$regressions"
fuzz fuzz_load_picture          60  slow   "$hostile_seeds"               "$regressions"
fuzz fuzz_gif_reader            60  fast   "$(seeds gif '*.gif')"         "$regressions"
fuzz fuzz_decoder_client        60  fast   "$here/client_scripts"         "$here/client_scripts"
fuzz fuzz_helper_messages       60  fast   "$here/helper_messages"        "$here/helper_messages"
fuzz fuzz_bmp_reader            50  fast   "$(seeds bmp '*.bmp')"         "$regressions"
fuzz fuzz_heif_reader           40  fast   "$(seeds heif '*.heic')"       "$regressions"
fuzz fuzz_heif_container        30  fast   "$(seeds heif_container '*.heic')" "$regressions"
fuzz fuzz_png_reader            30  fast   "$(seeds png '*.png')"         "$regressions"
fuzz fuzz_jpeg_reader           50  fast   "$(seeds jpeg '*.jpg')"        "$regressions"
fuzz fuzz_tiff_reader           25  fast   "$(seeds tiff '*.tif')"        "$regressions"
fuzz fuzz_avif_reader           25  fast   "$(seeds avif '*.avif')"       "$regressions"
fuzz fuzz_webp_reader           20  fast   "$(seeds webp '*.webp')"       "$regressions"
fuzz fuzz_icon_reader           10  fast   "$(seeds icon '*.ico' '*.cur')" "$regressions"
fuzz fuzz_netpbm_reader         10  fast   "$(seeds netpbm '*.p?m')"      "$regressions"
fuzz fuzz_xpm_reader            10  fast   "$(seeds xpm '*.xpm')"         "$regressions"
fuzz fuzz_xbm_reader            10  fast   "$(seeds xbm '*.xbm')"         "$regressions"

# A format folder's reader target that the table has no row for yet is fuzzed for a default
# time from every seed, as a slow target, and the run says so.
default_seconds=20
for binary in "$build"/fuzz_*_reader; do
    target=$(basename "$binary")
    if ! cut -f1 "$work/order" | grep -qx "$target"; then
        echo "$target: no row in the table of run_fuzz_targets.sh; fuzzed ${default_seconds} s"
        fuzz "$target" "$default_seconds" slow "$hostile_seeds" "$regressions"
    fi
done
wait

failures=0
while IFS=$'\t' read -r target speed; do
    echo "== $target"
    cat "$work/$target.log"
    [ "$(cat "$work/$target.status")" -eq 0 ] || failures=$((failures + 1))
    printf '%s\t%s\t%s\n' "$target" "$speed" \
        "$(sed -n 's/^fuzzer: \([0-9]*\) executions.*/\1/p' "$work/$target.log")" \
        >>"$work/summary.tsv"
done <"$work/order"
"$here/check_fuzz_counts.sh" "$work/summary.tsv" || failures=$((failures + 1))
if [ "$failures" -gt 0 ]; then
    echo "fuzzing failed: $failures of the checks above"
    exit 1
fi
