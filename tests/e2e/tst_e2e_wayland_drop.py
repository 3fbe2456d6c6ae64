# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
"""Files dropped on the viewer under Wayland with a real drag. weston 10's headless backend
makes no seat, and a Wayland drag starts only from a pointer button press, so here weston
runs with its X11 backend on a private Xvfb: xdotool moves the X pointer over weston's
window, and both the drag source and the viewer are Wayland clients of that weston. Text is
refused, a broken file changes nothing and brings no message, a picture opens."""

import os
import secrets
import select
import shutil
import subprocess
import sys
import tempfile
import time

if not all(shutil.which(tool) for tool in ("Xvfb", "xauth", "xdotool", "xwininfo")):
    print("SKIP: needs Xvfb, xauth, xdotool and xwininfo; ./test.sh installs them")
    sys.exit(77)

from PIL import ImageChops

from atspi_session import Viewer, check, wait_until, write_halves_bmp
from tst_e2e_wayland import PICTURE_AREA, Compositor, client_area, near

OUTPUT_SIZE = (1600, 1000)
# The X screen is wider than weston's window, so that the X pointer can leave the window.
X_MARGIN = 100
SOURCE_COLOUR = (255, 0, 255)
# Room kept around the viewer's client area for the title bar and borders Qt draws itself.
FRAME_MARGIN = 40


class PrivateX:
    """An Xvfb of its own on a free display, made DISPLAY for everything the test starts. It
    takes only clients that hold its cookie, so that no other program's pointer moves there."""

    def __init__(self, folder, size):
        cookie = secrets.token_hex(16)
        authority = os.path.join(folder, "Xauthority")
        self._add_cookie(authority, ":0", cookie)
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-auth", authority, "-screen", "0",
             f"{size[0]}x{size[1]}x24", "-dpi", "96", "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        # The number may come in pieces; it ends with a newline.
        said = b""
        deadline = time.monotonic() + 15
        while not said.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], max(0, deadline - time.monotonic()))
            piece = os.read(read_end, 16) if ready else b""
            if not piece:
                break
            said += piece
        os.close(read_end)
        check(said.endswith(b"\n"), f"Xvfb did not say which display it took: {said!r}")
        display = ":" + said.decode().strip()
        self._add_cookie(authority, display, cookie)
        os.environ.update(DISPLAY=display, XAUTHORITY=authority)

    @staticmethod
    def _add_cookie(authority, display, cookie):
        subprocess.run(["xauth", "-q", "-f", authority, "add", display, ".", cookie],
                       timeout=10, check=True)

    def close(self):
        self.process.terminate()
        self.process.wait(10)


class DragSource:
    """tests/e2e/drag_source as a Wayland client: a magenta window that drags what it is given
    when pressed, and prints how the drag ended."""

    def __init__(self, compositor, arguments):
        self.compositor = compositor
        self.process = subprocess.Popen(
            [os.environ["KAVELORA_DRAG_SOURCE"], *arguments],
            env=dict(os.environ, **compositor.environment, QT_QPA_PLATFORM="wayland"),
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)

    def outcome(self, timeout=10.0):
        ready, _, _ = select.select([self.process.stdout], [], [], timeout)
        return self.process.stdout.readline().strip() if ready else ""

    def close(self):
        """Ends the source and waits for its window to leave the screen, so that the next
        source is not looked for where this one was."""
        self.process.kill()
        self.process.wait()
        wait_until("the drag source's window to go", lambda: bounding_box(
            self.compositor.screenshot(), SOURCE_COLOUR) is None)


def bounding_box(shot, colour):
    channels = [band.point(lambda v, want=want: 255 if v == want else 0)
                for band, want in zip(shot.split(), colour)]
    mask = ImageChops.multiply(ImageChops.multiply(channels[0], channels[1]), channels[2])
    return mask.getbbox()


def overlaps(first, second):
    return (first[0] < second[2] and second[0] < first[2] and
            first[1] < second[3] and second[1] < first[3])


def find_client_area(compositor):
    """The viewer's client area in output coordinates."""
    def probe():
        shot = compositor.screenshot()
        return (client_area(shot, 1) is not None) and bounding_box(shot, (255, 192, 192))
    return wait_until("the viewer's window", probe)


def start_source_beside(compositor, client, arguments):
    """A drag source whose window the compositor placed clear of the viewer's; weston's
    desktop shell places each new window at random, so one placed over it is started again."""
    frame = (client[0] - FRAME_MARGIN, client[1] - FRAME_MARGIN,
             client[2] + FRAME_MARGIN, client[3] + FRAME_MARGIN)
    for _ in range(10):
        source = DragSource(compositor, arguments)
        box = wait_until("the drag source's window",
                         lambda: bounding_box(compositor.screenshot(), SOURCE_COLOUR))
        if not overlaps(box, frame):
            return source, ((box[0] + box[2]) // 2, (box[1] + box[3]) // 2)
        print("drag source placed over the viewer at", box, "; starting it again")
        source.close()
    raise AssertionError("weston placed the drag source over the viewer ten times")


def x_position(point):
    """Where a point of weston's output lies on the X screen: inside weston's window."""
    info = subprocess.run(["xwininfo", "-name", "Weston Compositor - screen0"], timeout=10,
                          check=True, capture_output=True, text=True).stdout
    fields = dict(line.strip().split(":", 1) for line in info.splitlines() if ":" in line)
    return (point[0] + int(fields["Absolute upper-left X"]),
            point[1] + int(fields["Absolute upper-left Y"]))


def pointer_to(point):
    """Puts weston's pointer on point of its output. weston's X11 backend moves its pointer by
    the X pointer's motions, and takes the X pointer's place only when it enters weston's
    window: so the X pointer leaves the window first, and comes in at point."""
    outside = x_position((OUTPUT_SIZE[0] + X_MARGIN // 2, 10))
    subprocess.run(["xdotool", "mousemove", *map(str, outside), "sleep", "0.2",
                    "mousemove", *map(str, x_position(point)), "sleep", "0.3"],
                   timeout=10, check=True)


def drag(start, end):
    """Presses the pointer, which is at start, moves it to end in steps with pauses, so that
    weston, the source and the viewer each see every stage, and releases it there."""
    start, end = x_position(start), x_position(end)
    steps = ["mousedown", "1", "sleep", "0.3"]
    for step in range(1, 9):
        x = start[0] + (end[0] - start[0]) * step // 8
        y = start[1] + (end[1] - start[1]) * step // 8
        steps += ["mousemove", str(x), str(y), "sleep", "0.1"]
    steps += ["mousemove", str(end[0] + 3), str(end[1]), "sleep", "0.4", "mouseup", "1"]
    subprocess.run(["xdotool", *steps], timeout=20, check=True)


def picture_area(compositor, client):
    return compositor.screenshot().crop(
        (client[0] + PICTURE_AREA[0], client[1] + PICTURE_AREA[1],
         client[0] + PICTURE_AREA[2], client[1] + PICTURE_AREA[3]))


def shows_halves(area):
    width, height = area.size
    left, right = area.getpixel((2, 2)), area.getpixel((width - 3, height - 3))
    print(f"picture area: top left {left}, bottom right {right}")
    return near(left, (255, 0, 0)) and near(right, (0, 0, 255))


def without_pointer(area, pointer):
    """area with the pointer's sprite, which weston draws into its screenshots, blanked."""
    masked = area.copy()
    masked.paste((0, 0, 0), (pointer[0] - 8, pointer[1] - 8, pointer[0] + 40, pointer[1] + 40))
    return masked


def drop_on_viewer(compositor, viewer, client, arguments, outcome, opens):
    source, start = start_source_beside(compositor, client, arguments)
    try:
        # The pointer's sprite stays out of the picture area in the "before" screenshot.
        pointer_to(start)
        before = picture_area(compositor, client)
        end = ((client[0] + client[2]) // 2, (client[1] + client[3]) // 2)
        drag(start, end)
        said = source.outcome()
        print(f"{arguments}: the source says {said!r}")
        check(said == outcome, f"the drag ended in {said!r}, not {outcome!r}")
        if opens:
            wait_until("the dropped picture on screen",
                       lambda: shows_halves(picture_area(compositor, client)), timeout=10)
            return
        pointer = (end[0] - client[0] - PICTURE_AREA[0], end[1] - client[1] - PICTURE_AREA[1])
        deadline = time.monotonic() + 1.5
        while time.monotonic() < deadline:
            after = without_pointer(picture_area(compositor, client), pointer)
            check(ImageChops.difference(after, without_pointer(before, pointer)).getbbox()
                  is None, "the picture area changed")
        check(viewer.process.poll() is None, "the viewer ended")
        check(viewer.application.childCount == 1,
              f"the viewer shows {viewer.application.childCount} windows")
    finally:
        source.close()


def main():
    with tempfile.TemporaryDirectory() as folder:
        x_server = PrivateX(folder, (OUTPUT_SIZE[0] + X_MARGIN, OUTPUT_SIZE[1]))
        try:
            compositor = Compositor(folder, 1, "x11-backend.so", OUTPUT_SIZE)
            try:
                run(compositor, folder)
            finally:
                compositor.close()
        finally:
            x_server.close()
    print("PASS: text refused, a broken file ignored and a picture opened by drops under Wayland")


def run(compositor, folder):
    picture = os.path.join(folder, "halves.bmp")
    write_halves_bmp(picture)
    broken = os.path.join(folder, "broken.bmp")
    with open(broken, "wb") as file:
        file.write(b"BM" + b"\xff" * 60)
    environment = dict(compositor.environment, QT_QPA_PLATFORM="wayland", QT_IM_MODULE="none")
    if "LSAN_OPTIONS" in os.environ:
        environment["LSAN_OPTIONS"] = os.environ["LSAN_OPTIONS"] + ":fast_unwind_on_malloc=0"
    with Viewer(environment) as viewer:
        client = find_client_area(compositor)
        print("viewer's client area:", client)
        drop_on_viewer(compositor, viewer, client, ["--text", picture], "drop: refused", False)
        drop_on_viewer(compositor, viewer, client, [broken], "drop: copy", False)
        drop_on_viewer(compositor, viewer, client, [picture], "drop: copy", True)


if __name__ == "__main__":
    main()
