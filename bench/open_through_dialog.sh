#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# Opens FILE in the running viewer as a user does: clicks 開　く, types the path into the open
# dialog and presses Enter. settle_timer --then runs it with the viewer's process id in
# SETTLE_TIMER_CHILD_PID. Returns once the dialog has closed; fails when a step does not come
# within ten seconds. A shell command in OPEN_THROUGH_DIALOG_BEFORE_ENTER runs just before
# Enter is pressed, when the path has been typed (bench/gui_stall.sh starts its measure there).
#
#   open_through_dialog.sh FILE
set -euo pipefail
file=$1
viewer=$SETTLE_TIMER_CHILD_PID
# The centre of 開　く after the first layout pass, in window pixels.
open_button_x=64
open_button_y=547

main=$(xdotool search --onlyvisible --pid "$viewer" --name '^Kavelora Ver1\.0$' | head -n1)
[ -n "$main" ] || { echo "open_through_dialog: no viewer window" >&2; exit 1; }

# The viewer's visible windows other than its main window: the dialog.
other_windows() {
    xdotool search --onlyvisible --pid "$viewer" --name . 2>/dev/null | grep -vx "$main" || true
}
dialog_shown() { [ -n "$(other_windows)" ]; }
dialog_closed() { [ -z "$(other_windows)" ]; }
has_keyboard_focus() { [ "$(xdotool getwindowfocus)" = "$1" ]; }

# wait_for WHAT COMMAND...: runs COMMAND every 50 ms until it succeeds, for ten seconds at most.
wait_for() {
    local what=$1
    shift
    for _ in $(seq 200); do
        "$@" && return 0
        sleep 0.05
    done
    echo "open_through_dialog: $what did not come" >&2
    return 1
}

xdotool mousemove --window "$main" "$open_button_x" "$open_button_y" sleep 0.1 click 1
wait_for "the open dialog" dialog_shown
# Keys sent before the dialog has the focus would reach the main window.
wait_for "the dialog's keyboard focus" has_keyboard_focus "$(other_windows | head -n1)"
xdotool type --delay 5 "$file"
[ -z "${OPEN_THROUGH_DIALOG_BEFORE_ENTER:-}" ] || bash -c "$OPEN_THROUGH_DIALOG_BEFORE_ENTER"
xdotool key Return
wait_for "the dialog's closing" dialog_closed
