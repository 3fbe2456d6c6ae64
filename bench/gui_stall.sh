#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# Measures how long the viewer's window goes unanswered while it opens a picture through its
# open dialog. For the 12 MP HEIC, the 12 MP PNG and the 30000 x 30000 JPEG that ./bench.sh
# makes, RUNS times each, it starts VIEWER on a private X server, opens the picture through
# the dialog (open_through_dialog.sh) and meanwhile pings the window every 5 ms with
# gui_stall_probe. The figures cover Enter to shown: the probe starts counting afresh just
# before Enter is pressed, so the dialog and the typing of the path do not count, and is
# stopped once the picture is on screen (wait_for_picture.py sees it). "Enter to shown" runs
# from the same moment; it includes the start of xdotool pressing the key, a few ms.
#
#   bench/gui_stall.sh VIEWER PROBE INPUTS [RUNS]
#
# VIEWER: a built kavelora (build/bin/kavelora); PROBE: gui_stall_probe (build/tests/ or
# build-bench/bench/); INPUTS: the folder ./bench.sh makes its pictures in
# (build-bench/inputs); RUNS: 3 unless given. Needs Xvfb, xdotool, x11-utils and python3-pil.
# Prints a line per run, then a table of every run's figures per picture.
set -euo pipefail
KAVELORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$KAVELORA_ROOT/scripts/common.sh"
viewer=$(realpath "$1")
probe=$(realpath "$2")
inputs=$(realpath "$3")
runs=${4:-3}
pictures=(photo_12mp.heic photo_12mp.png huge_30000.jpg)

make_private_work_dir
started_pids=()
stop_started() {
    local pid
    for pid in "${started_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    remove_private_work_dir
}
trap stop_started EXIT
start_private_xvfb "$work" 1920x1080 -noreset
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR" "$work/home"

# wait_for_line FILE TEXT: waits up to ten seconds for a line starting with TEXT in FILE.
wait_for_line() {
    for _ in $(seq 200); do
        grep -q "^$2" "$1" 2>/dev/null && return 0
        sleep 0.05
    done
    echo "gui_stall: no \"$2\" in $1" >&2
    return 1
}

# measure_run PICTURE: one opening; its figures go to $work/run: "longest_gap_ms
# longest_round_trip_ms enter_to_shown_ms answered sent".
measure_run() {
    local picture=$1 window='' viewer_pid probe_pid watcher_pid
    rm -f "$work/enter" "$work/probe.out" "$work/watcher.out"
    env HOME="$work/home" "$viewer" >>"$work/viewer.log" 2>&1 &
    viewer_pid=$!
    started_pids+=("$viewer_pid")
    for _ in $(seq 200); do
        window=$(xdotool search --all --onlyvisible --pid "$viewer_pid" \
            --name '^Kavelora Ver1\.0$' 2>/dev/null | head -n1) || true
        [ -n "$window" ] && break
        sleep 0.05
    done
    [ -n "$window" ] || { echo "gui_stall: no viewer window" >&2; return 1; }
    /usr/bin/python3 "$KAVELORA_ROOT/bench/wait_for_picture.py" "$window" "$work/enter" \
        >"$work/watcher.out" &
    watcher_pid=$!
    "$probe" --window "$window" --seconds 120 >"$work/probe.out" &
    probe_pid=$!
    started_pids+=("$watcher_pid" "$probe_pid")
    wait_for_line "$work/watcher.out" armed
    wait_for_line "$work/probe.out" ready
    SETTLE_TIMER_CHILD_PID=$viewer_pid OPEN_THROUGH_DIALOG_BEFORE_ENTER="kill -USR1 $probe_pid; \
date +%s%N >$work/enter.next && mv $work/enter.next $work/enter" \
        "$KAVELORA_ROOT/bench/open_through_dialog.sh" "$inputs/$picture"
    wait "$watcher_pid" || { echo "gui_stall: $picture was not shown" >&2; return 1; }
    kill -TERM "$probe_pid"
    wait "$probe_pid" || true
    kill "$viewer_pid"
    wait "$viewer_pid" || true
    # "sent N answered N longest_gap_ms X longest_round_trip_ms Y" and "enter_to_shown_ms Z".
    local sent answered gap round_trip
    read -r _ sent _ answered _ gap _ round_trip < <(grep '^sent' "$work/probe.out")
    echo "$gap $round_trip $(grep -o '[0-9.]*$' "$work/watcher.out") $answered $sent" >"$work/run"
}

echo "Private X server on $DISPLAY; $runs runs of each picture with $viewer"
declare -A gaps shown_times
for run in $(seq "$runs"); do
    for picture in "${pictures[@]}"; do
        measure_run "$picture"
        read -r gap round_trip shown answered sent <"$work/run"
        printf '%s run %s: longest gap %s ms, longest round trip %s ms, Enter to shown %s ms' \
            "$picture" "$run" "$gap" "$round_trip" "$shown"
        printf ' (%s of %s pings answered)\n' "$answered" "$sent"
        gaps[$picture]+="${gaps[$picture]:+ / }$gap"
        shown_times[$picture]+="${shown_times[$picture]:+ / }$shown"
    done
done
echo
echo "| picture | longest GUI stall per run (ms) | Enter to shown per run (ms) |"
echo "|---|---|---|"
for picture in "${pictures[@]}"; do
    echo "| $picture | ${gaps[$picture]} | ${shown_times[$picture]} |"
done
