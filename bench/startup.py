#!/usr/bin/python3
"""Start-up time and memory of the program.

For each run: build/tallowick is started in a fresh temporary working
directory (with a games/ folder, so nothing is created in HOME), and the time
is taken from just before the exec until the X server reports its first
screen's window mapped (a MapNotify on the root window for the window named
"Tallowick, by Brennholt.", received as an event: nothing is polled). One
second later its resident memory (VmRSS) is read from /proc. The program is
then ended with SIGTERM. Prints every run and the medians.

Command (from the source root):
  tests/tools/with-desktop /usr/bin/python3 bench/startup.py [program] [runs]
(program: build/tallowick by default; 5 runs by default). with-desktop turns
the accessibility bus on, as on a screen reader's desktop; with-display
measures without it.
"""
import ctypes
import ctypes.util
import os
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SOURCE_DIR = Path(__file__).resolve().parents[1]
FRAME = b"Tallowick, by Brennholt."

MAP_NOTIFY = 19
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19


class XMapEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("event", ctypes.c_ulong), ("window", ctypes.c_ulong),
                ("override_redirect", ctypes.c_int)]


class XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xmap", XMapEvent), ("pad", ctypes.c_long * 24)]


def xlib():
    x = ctypes.CDLL(ctypes.util.find_library("X11"))
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultRootWindow.restype = ctypes.c_ulong
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
    x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x.XPending.argtypes = [ctypes.c_void_p]
    x.XConnectionNumber.argtypes = [ctypes.c_void_p]
    x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(XEvent)]
    x.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
    x.XFree.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return x


def window_name(x, display, window):
    name = ctypes.c_char_p()
    if not x.XFetchName(display, window, ctypes.byref(name)) or not name.value:
        return b""
    value = name.value
    x.XFree(name)
    return value


def resident_mb(pid, field="VmRSS:"):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field):
                return int(line.split()[1]) / 1024
    return float("nan")


def one_run(program, x, base):
    """One start in a fresh working directory; HOME and the XDG folders are
    `base`'s, shared by all runs, as a player's are from one start to the
    next (the first run fills the toolkit's caches there)."""
    work = Path(tempfile.mkdtemp(prefix="run-", dir=base))
    try:
        (work / "games").mkdir()
        env = dict(os.environ, HOME=str(base / "home"),
                   SPEECHD_ADDRESS=f"unix_socket:{base}/no-speech.sock")
        for var in ("XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"):
            env[var] = str(base / var.lower())

        display = x.XOpenDisplay(None)
        if not display:
            raise SystemExit("no X display: run under tests/tools/with-display")
        root = x.XDefaultRootWindow(display)
        x.XSelectInput(display, root, SUBSTRUCTURE_NOTIFY_MASK)
        x.XSync(display, 0)
        fd = x.XConnectionNumber(display)

        start = time.monotonic()
        proc = subprocess.Popen([str(program)], cwd=work, env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        mapped = None
        event = XEvent()
        deadline = start + 30
        while mapped is None and time.monotonic() < deadline:
            if not x.XPending(display):
                select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
                continue
            x.XNextEvent(display, ctypes.byref(event))
            if event.type == MAP_NOTIFY and window_name(x, display, event.xmap.window) == FRAME:
                mapped = time.monotonic()
        x.XCloseDisplay(display)
        if mapped is None:
            proc.kill()
            proc.wait()
            raise SystemExit("the first screen was never mapped")
        time.sleep(1.0)
        rss = resident_mb(proc.pid)
        proc.terminate()
        proc.wait()
        return (mapped - start) * 1000, rss
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    program = Path(sys.argv[1] if len(sys.argv) > 1 else SOURCE_DIR / "build" / "tallowick")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    program = program.resolve()
    x = xlib()
    times, memory = [], []
    base = Path(tempfile.mkdtemp(prefix="tallowick-startup-"))
    try:
        (base / "home").mkdir()
        for i in range(runs):
            ms, rss = one_run(program, x, base)
            times.append(ms)
            memory.append(rss)
            print(f"run {i + 1}: first screen mapped after {ms:.0f} ms, VmRSS 1 s later "
                  f"{rss:.1f} MB", flush=True)
    finally:
        shutil.rmtree(base, ignore_errors=True)
    print(f"start-up, median of {runs}: first screen mapped after {statistics.median(times):.0f} ms "
          f"(min {min(times):.0f}, max {max(times):.0f}); VmRSS 1 s later "
          f"{statistics.median(memory):.1f} MB")


if __name__ == "__main__":
    main()
