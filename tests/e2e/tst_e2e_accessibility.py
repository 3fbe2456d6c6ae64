# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
"""What a screen reader finds in the window: the three buttons by their captions, and the
picture area with a description of what it shows, before and after a picture is opened."""

import os
import sys
import tempfile

if not os.environ.get("DISPLAY"):
    print("SKIP: needs an X display; ./test.sh starts Xvfb for these tests")
    sys.exit(77)

from atspi_session import (EXIT, OPEN, PICTURE_AREA_NAME, PRINT, Viewer, find, wait_until,
                           write_halves_bmp)


def check_what_a_reader_finds(window, description):
    for caption in (OPEN, PRINT, EXIT):
        find(window, "push button", caption)
    picture_area = find(window, "filler", PICTURE_AREA_NAME)
    wait_until(f"the picture area to be described as {description!r}, not "
               f"{picture_area.description!r}",
               lambda: picture_area.description == description, timeout=5)


def main():
    with tempfile.TemporaryDirectory() as folder, Viewer({"QT_QPA_PLATFORM": "xcb"}) as viewer:
        window = find(viewer.application, "filler", "Kavelora Ver1.0")
        check_what_a_reader_finds(window, "起動画面")
        picture = os.path.join(folder, "halves.bmp")
        write_halves_bmp(picture)
        viewer.open_through_dialog(picture)
        check_what_a_reader_finds(window, "halves.bmp")
    print("PASS: buttons and picture area found by a screen reader")


if __name__ == "__main__":
    main()
