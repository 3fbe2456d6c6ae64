#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# Installs what is missing, builds the viewer and its benchmarks, makes the input pictures,
# and measures every figure beside its baseline on a private X server. Prints the table and
# writes it, with the machine it ran on, to build-bench/RESULTS.md.
#
# KAVELORA_BENCH_ROUNDS sets the number of interleaved rounds (default 9); the 100-megapixel
# and 30000 x 30000 pictures are measured in every third round only, the starts three times in
# each.
set -euo pipefail
KAVELORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$KAVELORA_ROOT/scripts/common.sh"

BENCH_PACKAGES=(
    libbenchmark-dev libjpeg-dev libx11-dev libxdamage-dev libxcb1-dev
    xvfb xauth feh libjpeg-turbo-progs libheif-examples libavif-bin libjxl-tools xdotool
    # bench/gui_stall.sh: xwininfo, and Pillow to see the picture on screen.
    x11-utils python3-pil
    # bench/make_grid_heic codes the grid HEICs' tiles with x265.
    libx265-dev
)
ensure_packages "${KAVELORA_BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"

BUILD_DIR="$KAVELORA_ROOT/build-bench"
configure_and_build "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DKAVELORA_BUILD_BENCHMARKS=ON \
    -DBUILD_TESTING=OFF
BENCH="$BUILD_DIR/bench"
INPUTS="$BUILD_DIR/inputs"
"$BENCH/make_inputs" "$INPUTS"
# The same photograph as HEIC, AVIF and JPEG XL, made once by Debian's encoders at the
# qualities a camera or an export would use.
encode_once() {
    local output=$1
    shift
    [ -e "$output" ] || "$@" >/dev/null || { echo "cannot make $output"; exit 1; }
}
encode_once "$INPUTS/photo_12mp.heic" heif-enc -q 80 -o "$INPUTS/photo_12mp.heic" \
    "$INPUTS/photo_12mp.png"
encode_once "$INPUTS/photo_12mp.avif" avifenc -s 6 -j "$(nproc)" "$INPUTS/photo_12mp.png" \
    "$INPUTS/photo_12mp.avif"
encode_once "$INPUTS/photo_12mp.jxl" cjxl "$INPUTS/photo_12mp.png" "$INPUTS/photo_12mp.jxl"
# Grid HEICs as phones write them: 512 x 512 tiles for 12 MP, and a 48 MP portrait photo in
# 1024 x 896 tiles, each tile coded by x265 and the grid written by the tests' HEIF writer.
encode_once "$INPUTS/grid_12mp.heic" "$BENCH/make_grid_heic" "$INPUTS/photo_12mp.png" \
    4000x3000 512x512 "$INPUTS/grid_12mp.heic"
encode_once "$INPUTS/grid_48mp.heic" "$BENCH/make_grid_heic" "$INPUTS/photo_12mp.png" \
    6048x8064 1024x896 "$INPUTS/grid_48mp.heic"
SPLASH="$KAVELORA_ROOT/assets/splash.bmp"
ROUNDS=${KAVELORA_BENCH_ROUNDS:-9}
# KAVELORA_BENCH_ONLY, a regular expression, keeps the whole-process pairs whose first case it
# matches and skips the dialog, print and in-process figures: for a quick look at a few rows.
ONLY=${KAVELORA_BENCH_ONLY:-.}

make_private_work_dir

# A private X server the size of a common desktop; -noreset keeps it from resetting (and
# refusing connections) when the last client leaves.
start_private_xvfb "$work" 1920x1080 -noreset
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# An empty home for the program opened through its dialog, which starts there.
mkdir "$work/home"
echo "Private X server on $DISPLAY; $ROUNDS rounds"

whole="$BUILD_DIR/whole_process.tsv"
: >"$whole"
# measure CASE ROUND [settle_timer options] -- COMMAND...: one line of the whole-process table.
measure() {
    local name=$1 round=$2
    shift 2
    local figures
    figures=$("$BENCH/settle_timer" --quiet 300 --timeout 60000 "$@" 2>>"$work/stderr.log") ||
        { echo "$name failed in round $round:"; tail -5 "$work/stderr.log"; exit 1; }
    printf '%s\t%s\t%s\n' "$name" "$round" "${figures// /$'\t'}" >>"$whole"
}
FEH=(feh -g 1000x700 --scale-down --auto-zoom)

# Whole-process figures, the program and its baseline taking turns which goes first.
for round in $(seq "$ROUNDS"); do
    echo "round $round of $ROUNDS"
    pairs=(
        "open_24mp|$BENCH/kavelora_open $INPUTS/photo_24mp.jpg"
        "feh_24mp|${FEH[*]} $INPUTS/photo_24mp.jpg"
        "open_png|$BENCH/kavelora_open $INPUTS/photo_12mp.png"
        "feh_png|${FEH[*]} $INPUTS/photo_12mp.png"
        "open_webp_lossy|$BENCH/kavelora_open $INPUTS/photo_12mp_lossy.webp"
        "feh_webp_lossy|${FEH[*]} $INPUTS/photo_12mp_lossy.webp"
        "open_webp_lossless|$BENCH/kavelora_open $INPUTS/photo_12mp_lossless.webp"
        "feh_webp_lossless|${FEH[*]} $INPUTS/photo_12mp_lossless.webp"
        "open_tiff|$BENCH/kavelora_open $INPUTS/photo_12mp.tif"
        "feh_tiff|${FEH[*]} $INPUTS/photo_12mp.tif"
        "open_gif|$BENCH/kavelora_open $INPUTS/photo_12mp.gif"
        "feh_gif|${FEH[*]} $INPUTS/photo_12mp.gif"
    )
    for format in heic avif jxl; do
        pairs+=("open_$format|$BENCH/kavelora_open $INPUTS/photo_12mp.$format"
            "feh_$format|${FEH[*]} $INPUTS/photo_12mp.$format")
    done
    for grid in grid_12mp grid_48mp; do
        pairs+=("open_$grid|$BENCH/kavelora_open $INPUTS/$grid.heic"
            "feh_$grid|${FEH[*]} $INPUTS/$grid.heic")
    done
    # A start takes a few tens of milliseconds and varies by several from one to the next:
    # three of each pair per round steady the medians.
    for _ in 1 2 3; do
        pairs+=(
            "start_kavelora|$BUILD_DIR/bin/kavelora"
            "start_bare|$BENCH/bare_window $SPLASH"
            "start_captions|$BENCH/bare_window --captions $SPLASH"
            "start_bare|$BENCH/bare_window $SPLASH"
        )
    done
    if [ $((round % 3)) -eq 1 ]; then
        pairs+=(
            "open_100mp|$BENCH/kavelora_open $INPUTS/photo_100mp.jpg"
            "feh_100mp|${FEH[*]} $INPUTS/photo_100mp.jpg"
            "open_30000|$BENCH/kavelora_open $INPUTS/huge_30000.jpg"
            "feh_30000|${FEH[*]} $INPUTS/huge_30000.jpg"
        )
    fi
    for ((i = 0; i < ${#pairs[@]}; i += 2)); do
        first=${pairs[i]} second=${pairs[i + 1]}
        [[ "${first%%|*}" =~ $ONLY ]] || continue
        if [ $((round % 2)) -eq 0 ]; then
            first=${pairs[i + 1]} second=${pairs[i]}
        fi
        for entry in "$first" "$second"; do
            # The viewer shows its splash at once and the picture once decoded: the screen must
            # stay quiet longer than the longest decode before the picture counts as settled.
            quiet=()
            [[ "${entry%%|*}" =~ ^(open|feh)_ ]] && quiet=(--quiet 5000)
            # The paths hold no spaces: build-bench and the inputs are the script's own.
            # shellcheck disable=SC2086
            measure "${entry%%|*}" "$round" "${quiet[@]}" -- ${entry#*|}
        done
    done
    [ "$ONLY" = . ] || continue
    # The real program, its picture opened through the open dialog by clicks and keys once its
    # window has settled; feh_24mp above is the baseline. Only its peak memory is reported: its
    # times would measure the typing.
    measure dialog_24mp "$round" \
        --then "$KAVELORA_ROOT/bench/open_through_dialog.sh $INPUTS/photo_24mp.jpg" -- \
        env HOME="$work/home" "$BUILD_DIR/bin/kavelora"
    # Printing opens no window: the time to the end of the program and its peak memory. It
    # runs on the same screen as the rest, which decides the size of the screen copy.
    for mode in kavelora naive; do
        flag=()
        [ "$mode" = naive ] && flag=(--naive)
        measure "print_$mode" "$round" --no-window -- \
            "$BENCH/print_picture" "${flag[@]}" "$INPUTS/photo_24mp.jpg" "$work/print.pdf"
    done
done

echo "In-process figures"
if [ "$ONLY" = . ]; then
    KAVELORA_BENCH_INPUTS="$INPUTS" "$BENCH/kavelora_bench" \
        --benchmark_repetitions="$ROUNDS" --benchmark_enable_random_interleaving=true \
        --benchmark_out="$BUILD_DIR/in_process.json" --benchmark_out_format=json \
        2>>"$work/stderr.log"
else
    echo '{"benchmarks": []}' >"$BUILD_DIR/in_process.json"
fi

table="$BUILD_DIR/table.md"
"$BENCH/bench_report" "$BUILD_DIR/in_process.json" "$whole" >"$table"
{
    echo "## Run of $(date -u +%Y-%m-%d)"
    echo
    echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), $(nproc) cores," \
        "$(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo) memory;" \
        "Qt $(dpkg-query -W -f='${Version}' libqt6core6 2>/dev/null | cut -d+ -f1)," \
        "libjpeg-turbo $(dpkg-query -W -f='${Version}' libjpeg62-turbo | cut -d- -f1 | cut -d: -f2)," \
        "feh $(dpkg-query -W -f='${Version}' feh | cut -d- -f1); Xvfb 1920 × 1080 at 96 dpi;" \
        "$ROUNDS interleaved rounds (the 100 MP and 30000² pictures in every third, the starts" \
        "three times in each)."
    echo
    cat "$table"
} >"$BUILD_DIR/RESULTS.md"
echo
cat "$BUILD_DIR/RESULTS.md"
