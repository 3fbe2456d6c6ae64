# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
"""Waits for the viewer to show a newly opened picture, and says how long after Enter it did.

    wait_for_picture.py WINDOW_ID ENTER_FILE

Once the window has drawn its buttons, it keeps the picture area (the splash) and the rest of
the window as they are, prints "armed" and waits for ENTER_FILE, in which the script that
presses Enter writes the time it did so (date +%s%N). It then grabs the window until the rest
of it is drawn as before (the dialog no longer over it) and the picture area differs from the
splash, and prints "enter_to_shown_ms X". Every wait ends after 60 s, with exit status 1.
Needs Pillow (python3-pil) and xwininfo.
"""
import re
import subprocess
import sys
import time

from PIL import ImageDraw, ImageGrab

# The picture area and a point on the open button's face after the first layout pass, in
# window pixels, and that face's colour.
PICTURE_AREA = (8, 32, 8 + 475, 32 + 497)
BUTTON_FACE_POINT = (30, 547)
BUTTON_FACE = (192, 255, 255)
TIMEOUT_S = 60


def client_box(window_id):
    info = subprocess.run(["xwininfo", "-id", window_id], capture_output=True, text=True,
                          check=True, timeout=10).stdout

    def field(name):
        return int(re.search(name + r":\s+(-?\d+)", info).group(1))

    left, top = field("Absolute upper-left X"), field("Absolute upper-left Y")
    return (left, top, left + field("Width"), top + field("Height"))


def wait_for(condition, what):
    deadline = time.monotonic() + TIMEOUT_S
    while time.monotonic() < deadline:
        result = condition()
        if result:
            return result
        time.sleep(0.002)
    print(f"wait_for_picture: {what} did not come", file=sys.stderr)
    sys.exit(1)


def main():
    window_id, enter_file = sys.argv[1], sys.argv[2]
    box = client_box(window_id)

    def grab():
        client = ImageGrab.grab(bbox=box).convert("RGB")
        picture = client.crop(PICTURE_AREA).tobytes()
        ImageDraw.Draw(client).rectangle(PICTURE_AREA, fill=(0, 0, 0))
        return picture, client.tobytes()

    wait_for(lambda: ImageGrab.grab(bbox=box).convert("RGB").getpixel(BUTTON_FACE_POINT)
             == BUTTON_FACE, "the window's first drawing")
    splash, around_before = grab()
    print("armed", flush=True)

    def entered_at_ns():
        try:
            with open(enter_file, encoding="ascii") as record:
                return int(record.read().strip() or 0)
        except FileNotFoundError:
            return 0

    entered_ns = wait_for(entered_at_ns, "Enter")

    def shown():
        picture, around = grab()
        return around == around_before and picture != splash

    wait_for(shown, "the picture")
    print(f"enter_to_shown_ms {(time.time_ns() - entered_ns) / 1e6:.0f}", flush=True)


if __name__ == "__main__":
    main()
