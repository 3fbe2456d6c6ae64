# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
"""The viewer driven as a screen reader drives it: through AT-SPI, on the private session bus
that dbus-run-session gives each test that imports this."""

import os
import struct
import subprocess
import tempfile
import time

import pyatspi
from gi.repository import GLib

OPEN, PRINT, EXIT = "開\u3000く", "印\u3000刷", "終\u3000了"
PICTURE_AREA_NAME = "画像"
OPEN_DIALOG = "ファイルを開く"
# Children of lists and tables are made on demand, and Qt answers some with nothing.
_UNWALKED_ROLES = {"list", "table", "tree table", "tree"}


def wait_until(what, probe, timeout=15.0):
    """Polls probe until it returns something true and returns that; fails after timeout s."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            result = probe()
        except GLib.GError:
            # An object went away while the tree was walked, as a closing dialog's do: look again.
            result = None
        if result:
            return result
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def write_halves_bmp(path, width=120, height=90):
    """A 24-bit BMP, red on the left half and blue on the right."""
    row = (b"\x00\x00\xff" * (width // 2) + b"\xff\x00\x00" * (width - width // 2))
    row += b"\x00" * (-len(row) % 4)
    pixels = row * height
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    with open(path, "wb") as file:
        file.write(header + info + pixels)


def _descendants(node):
    for child in node:
        if child is None:
            continue
        yield child
        if child.getRoleName() not in _UNWALKED_ROLES:
            yield from _descendants(child)


def find(root, role, name=None, timeout=15.0, name_is_prefix=False):
    """The first object below root with this role (and name), once it appears."""
    def named(node):
        return name is None or node.name == name or (
            name_is_prefix and node.name.startswith(name))

    def probe():
        for node in _descendants(root):
            if node.getRoleName() == role and named(node):
                return node
        return None
    return wait_until(f"{role} {name!r}", probe, timeout)


def press(node):
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    check("Press" in names, f"{node.name!r} cannot be pressed: {names}")
    action.doAction(names.index("Press"))


class Viewer:
    """The built viewer in a process of its own, with an empty home and accessibility on;
    what it writes to stderr goes to a log file."""

    def __init__(self, environment):
        self._home = tempfile.TemporaryDirectory()
        self.log_path = os.path.join(self._home.name, "stderr.log")
        env = dict(os.environ, HOME=self._home.name,
                   XDG_CONFIG_HOME=os.path.join(self._home.name, ".config"),
                   XDG_CACHE_HOME=os.path.join(self._home.name, ".cache"),
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", **environment)
        env.pop("SESSION_MANAGER", None)
        with open(self.log_path, "wb") as log:
            self.process = subprocess.Popen([os.environ["KAVELORA_EXECUTABLE"]], env=env,
                                            stdout=subprocess.DEVNULL, stderr=log)
        try:
            self.application = wait_until("the viewer on the accessibility bus",
                                          self._find_window)
        except BaseException as failure:
            self.__exit__(type(failure))
            raise

    def _find_window(self):
        check(self.process.poll() is None, f"viewer ended with {self.process.returncode}")
        for application in pyatspi.Registry.getDesktop(0):
            if (application is not None and application.get_process_id() == self.process.pid
                    and application.childCount > 0):
                return application
        return None

    def log(self):
        with open(self.log_path, encoding="utf-8", errors="replace") as log:
            return log.read()

    def open_through_dialog(self, path):
        """Presses the open button, enters path in the file dialog and accepts it."""
        press(find(self.application, "push button", OPEN))
        dialog = find(self.application, "dialog", OPEN_DIALOG)
        find(dialog, "text").queryEditableText().setTextContents(path)
        # The accept button gains its access key, "開く(O)", once there is a name to open.
        press(find(dialog, "push button", "開く", name_is_prefix=True))
        wait_until("the open dialog to close", lambda: not any(
            child is not None and child.getRoleName() == "dialog"
            for child in self.application))

    def wait_for_exit(self, timeout=10.0):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def __enter__(self):
        return self

    def __exit__(self, failure, *_):
        if failure is not None:
            print("viewer's stderr, last 4000 characters:\n" + self.log()[-4000:])
        self.close()

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self._home.cleanup()
