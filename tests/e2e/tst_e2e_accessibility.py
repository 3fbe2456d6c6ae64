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

from atspi_session import (EXIT, OPEN, PICTURE_AREA_NAME, PRINT, Viewer, check, find,
                           wait_until, write_halves_bmp)


def main():
    with tempfile.TemporaryDirectory() as folder, Viewer({"QT_QPA_PLATFORM": "xcb"}) as viewer:
        window = find(viewer.application, "filler", "Kavelora Ver1.0")
        for caption in (OPEN, PRINT, EXIT):
            find(window, "push button", caption)
        picture_area = find(window, "filler", PICTURE_AREA_NAME)
        check(picture_area.description == "起動画面",
              f"start picture described as {picture_area.description!r}")

        picture = os.path.join(folder, "halves.bmp")
        write_halves_bmp(picture)
        viewer.open_through_dialog(picture)
        wait_until("the picture area to describe halves.bmp",
                   lambda: picture_area.description == "halves.bmp", timeout=5)
        check(picture_area.name == PICTURE_AREA_NAME,
              f"picture area renamed {picture_area.name!r}")
    print("PASS: buttons and picture area found by a screen reader")


if __name__ == "__main__":
    main()
