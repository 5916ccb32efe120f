"""Closing the window while the interpreter floods the program with output.

build/tallowick runs in a temporary working directory that holds a games.json
of one game whose story is already in games/, and an executable ./dfrotz that
runs the fake interpreter in its `spew` mode (output without end). The game is
started from the catalogue with the keyboard, the window is closed the way a
window manager closes it (a WM_DELETE_WINDOW message; under Xvfb there is no
window manager), and then:
  - the program exits with status 1, and
  - no interpreter is left running: neither a process the program started
    nor anything whose command line names this test's directory.

Self-contained: needs only xdotool, libX11 and the fake interpreter. Run by
ctest under tests/tools/with-desktop with TALLOWICK=<build/tallowick>.
Nothing waits on the clock alone: every wait polls a condition under a
generous overall bound.
"""
import ctypes
import ctypes.util
import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

SOURCE_DIR = Path(os.environ.get("TALLOWICK_SOURCE_DIR") or Path(__file__).resolve().parents[2])
PROGRAM = Path(os.environ.get("TALLOWICK")
               or Path(os.environ.get("TALLOWICK_BINARY_DIR") or SOURCE_DIR / "build") / "tallowick"
               ).resolve()
FAKE = SOURCE_DIR / "tests" / "tools" / "fake-interpreter"
FRAME = "Tallowick, by Brennholt."
BOUND = 60.0  # decides only how long a broken program takes to fail


def wait_for(condition, what):
    end = time.monotonic() + BOUND
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError(f"gave up waiting for {what}")
        time.sleep(0.02)


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True).stdout


def visible_windows(pid):
    return [w for w in xdotool("search", "--onlyvisible", "--pid", str(pid)).split() if w]


def window_name(window):
    return xdotool("getwindowname", window).strip()


# -- /proc


def stat_of(pid):
    """(state, parent pid, start time) of a process, or None once it is gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            text = f.read()
    except OSError:
        return None
    fields = text[text.rindex(")") + 2:].split()
    return fields[0], int(fields[1]), int(fields[19])


def cmdline(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return f.read().replace(b"\0", b" ").decode("utf-8", "replace")
    except OSError:
        return ""


def all_pids():
    return [int(p) for p in os.listdir("/proc") if p.isdigit()]


def running(proc):
    """Whether a (pid, start time) pair still names a live process; one that
    has exited and waits to be reaped counts as gone."""
    st = stat_of(proc[0])
    return st is not None and st[2] == proc[1] and st[0] not in ("Z", "X")


def bytes_written(pid):
    try:
        with open(f"/proc/{pid}/io") as f:
            for line in f:
                if line.startswith("wchar:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


# -- closing a window as a window manager does


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _Event(ctypes.Union):
    _fields_ = [("xclient", _ClientMessage), ("pad", ctypes.c_long * 24)]


def send_delete_window(window):
    x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(_Event)]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        raise RuntimeError("no X display")
    try:
        event = _Event()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = int(window)
        event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", False)
        event.xclient.format = 32
        event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", False)
        event.xclient.data[1] = 0  # CurrentTime
        if not x11.XSendEvent(display, int(window), False, 0, ctypes.byref(event)):
            raise RuntimeError("XSendEvent failed")
    finally:
        x11.XCloseDisplay(display)


class CloseWhileFlooding(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="tallowick-close-flood-"))
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)
        games = self.dir / "games"
        games.mkdir()
        # The catalogue's one game; its file name is the title plus the
        # address's extension, and it is already there, so nothing is fetched.
        (games / "Flood.z5").write_bytes(b"not a story; the fake never reads it")
        (self.dir / "games.json").write_text(json.dumps(
            {"Flood": ["Output without end.", "Nobody", "https://example.invalid/flood.z5"]}))
        # The directory's name on the fake's command line marks it as ours.
        script = self.dir / "dfrotz"
        script.write_text(f"#!/bin/sh\nexec /usr/bin/python3 {FAKE} spew {self.dir}\n")
        script.chmod(0o755)
        (self.dir / "home").mkdir()
        env = dict(os.environ, HOME=str(self.dir / "home"),
                   # Speech fails quietly: nothing listens there, and with an
                   # address given no service is started for us.
                   SPEECHD_ADDRESS=f"unix_socket:{self.dir}/no-speech.sock")
        for var in ("XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"):
            env[var] = str(self.dir / var.lower())
        self.log = tempfile.TemporaryFile()
        self.addCleanup(self.log.close)
        self.program = subprocess.Popen([str(PROGRAM)], cwd=self.dir, env=env,
                                        stdin=subprocess.DEVNULL, stdout=self.log,
                                        stderr=self.log)
        self.addCleanup(self.kill_leftovers)
        self.interpreters = set()

    def ours(self):
        """Live processes whose command line names this test's directory."""
        mark = str(self.dir)
        found = []
        for p in all_pids():
            st = stat_of(p)
            if p != os.getpid() and st and st[0] not in ("Z", "X") and mark in cmdline(p):
                found.append(p)
        return found

    def kill_leftovers(self):
        if self.program.poll() is None:
            self.program.kill()
            self.program.wait()
        for proc in list(self.interpreters):
            if running(proc):
                os.kill(proc[0], signal.SIGKILL)
        for pid in self.ours():
            os.kill(pid, signal.SIGKILL)

    def program_log(self):
        self.log.seek(0)
        return self.log.read().decode("utf-8", "replace")

    def children_running_fake(self):
        found = set()
        for pid in all_pids():
            st = stat_of(pid)
            if st and st[1] == self.program.pid and st[0] not in ("Z", "X") \
                    and str(FAKE) in cmdline(pid):
                found.add((pid, st[2]))
        self.interpreters |= found
        return found

    def focus(self, window):
        subprocess.run(["xdotool", "windowfocus", "--sync", window], capture_output=True)

    def test_closing_the_window_mid_flood_exits_with_1_and_leaves_no_interpreter(self):
        pid = self.program.pid
        frame = wait_for(lambda: next((w for w in visible_windows(pid)
                                       if window_name(w) == FRAME), None),
                         "the first screen")
        # No window manager gives the new window the focus; do as one would.
        self.focus(frame)
        # "Open a game." has the focus; the catalogue is the next button.
        xdotool("key", "Tab")
        xdotool("key", "Return")
        chooser = wait_for(lambda: next((w for w in visible_windows(pid) if w != frame), None),
                           "the game chooser")
        self.focus(chooser)
        xdotool("key", "Return")  # the first (and only) game is preselected

        interpreter = wait_for(self.children_running_fake, "the interpreter to start")
        (fake_pid, _), = interpreter
        # Flooding for real: well past what any pipe holds.
        wait_for(lambda: bytes_written(fake_pid) > 8 << 20, "the interpreter to flood")
        self.assertTrue(self.program.poll() is None, self.program_log())

        frame = wait_for(lambda: next((w for w in visible_windows(pid)
                                       if window_name(w) == FRAME), None),
                         "the game screen's window")
        send_delete_window(frame)
        wait_for(lambda: self.program.poll() is not None, "the program to exit")
        self.assertEqual(self.program.returncode, 1, self.program_log())

        # The interpreter goes with the program (it is reaped before the
        # program leaves, so not even a zombie is left to init).
        self.assertEqual([p for p in self.interpreters if running(p)], [])
        self.assertEqual(self.ours(), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
