#!/usr/bin/python3
"""Start-up time and memory of the program, beside two programs that show
the same first screen: a wxPython frame, and bench/bare_frame (wx in C++
with nothing of ours). What the program costs beyond bare_frame is its own;
wxPython is what the same screen costs in the toolkit's most common binding.

Each start runs in a fresh temporary folder holding an empty games/ folder,
so that the program takes it as a portable copy and creates nothing in HOME.
The time is taken from just before the exec until the X server reports the
window titled "Tallowick, by Brennholt." mapped (a MapNotify on the root
window, received as an event: nothing is polled). VmRSS is read from /proc
once the window is mapped and 1 s has passed since the exec. The program is
then ended with SIGTERM.

Two kinds of start, N of each per program:
  warm   one display, session and HOME for all, after one start of each
         that is not counted;
  first  a fresh display for every start: a new Xvfb, a new D-Bus session
         (so a new accessibility bus when the toolkit asks for one) and a new,
         empty HOME and XDG folders; and every file the program mapped in its
         warm starts (libraries, caches) is dropped from the page cache first,
         as far as the kernel lets go of it (pages that a running process
         maps stay), as after a boot. The whole page cache is not dropped:
         the machine is shared.
Starts are interleaved (tallowick, wxPython, bare, tallowick...) so that a
load that comes and goes falls on the three alike. Prints the minimum and
median of each, and the ratios of the medians.

Command (from the source root, with tallowick and bare_frame built in BUILD,
e.g. a tree configured with -DTALLOWICK_BENCH=ON):
  /usr/bin/python3 bench/startup.py [--build BUILD] [--runs N] [--gl]
BUILD is build/ by default, N is 5. --gl keeps GTK's OpenGL probe in all
three (GDK_GL set to "", which the programs leave alone). Needs Xvfb,
dbus-daemon and python3-wxgtk4.0; it starts its own displays, so it needs
no other wrapper.
"""
import argparse
import ctypes
import ctypes.util
import os
import select
import shutil
import signal
import statistics
import subprocess
import tempfile
import time
from pathlib import Path

SOURCE_DIR = Path(__file__).resolve().parents[1]
TITLE = b"Tallowick, by Brennholt."

# The same frame as bare_frame.cpp, in wxPython.
WX_FRAME = r"""
import os
os.environ.setdefault("GDK_GL", "disable")  # as the other two do
import wx
app = wx.App()
frame = wx.Frame(None, title="Tallowick, by Brennholt.", size=(350, 250))
panel = wx.Panel(frame)
row = wx.BoxSizer(wx.HORIZONTAL)
for label in ("Open a game.", "Choose a game from our database.", "Exit!"):
    row.Add(wx.Button(panel, label=label), 1, wx.EXPAND | wx.ALL, 5)
column = wx.BoxSizer(wx.VERTICAL)
column.Add(row)
panel.SetSizer(column)
holder = wx.BoxSizer(wx.VERTICAL)
holder.Add(panel, 1, wx.EXPAND)
frame.SetSizer(holder)
frame.Show()
frame.Fit()
frame.Centre()
app.MainLoop()
"""

MAP_NOTIFY = 19
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19


class XMapEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("event", ctypes.c_ulong), ("window", ctypes.c_ulong),
                ("override_redirect", ctypes.c_int)]


class XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xmap", XMapEvent), ("pad", ctypes.c_long * 24)]


X_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)


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
    x.XSetErrorHandler.argtypes = [X_ERROR_HANDLER]
    # A window that goes between its MapNotify and our look at its name
    # gives BadWindow, which Xlib's default handler answers with exit().
    x.ignore_errors = X_ERROR_HANDLER(lambda display, error: 0)
    x.XSetErrorHandler(x.ignore_errors)
    return x


def window_name(x, display, window):
    name = ctypes.c_char_p()
    if not x.XFetchName(display, window, ctypes.byref(name)) or not name.value:
        return b""
    value = name.value
    x.XFree(name)
    return value


def mapped_files(pid):
    with open(f"/proc/{pid}/maps") as f:
        fields = [line.split(None, 5) for line in f]
    return {f[5].strip() for f in fields if len(f) == 6 and f[5].startswith("/")}


def evict(files):
    """Drops the files' pages from the page cache, where nothing maps them."""
    for name in files:
        try:
            fd = os.open(name, os.O_RDONLY)
        except OSError:
            continue
        try:
            os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        finally:
            os.close(fd)


def resident_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return float("nan")


class Desktop:
    """A private X server and D-Bus session, and a HOME with XDG folders.
    Both servers run in process groups of their own, so that what D-Bus
    starts on demand (the accessibility bus) ends with them."""

    def __init__(self, base, gl):
        self.home = Path(tempfile.mkdtemp(prefix="home-", dir=base))
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-noreset",
             "-screen", "0", "1280x1024x24"],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n"):
            got = os.read(read_end, 16)
            if not got:
                raise SystemExit("Xvfb did not start")
            number += got
        os.close(read_end)
        self.display = f":{number.decode().strip()}"

        env = {k: v for k, v in os.environ.items()
               if k not in ("DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "WAYLAND_DISPLAY",
                            "TALLOWICK_IN_DESKTOP")}
        env.update(DISPLAY=self.display, HOME=str(self.home),
                   XDG_RUNTIME_DIR=str(self.home / "run"),
                   SPEECHD_ADDRESS=f"unix_socket:{self.home}/no-speech.sock")
        for var in ("XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"):
            env[var] = str(self.home / var.lower())
        if gl:
            env["GDK_GL"] = ""
        (self.home / "run").mkdir(mode=0o700)
        self.dbus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                     env=env, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, start_new_session=True)
        env["DBUS_SESSION_BUS_ADDRESS"] = self.dbus.stdout.readline().decode().strip()
        self.env = env

    def close(self):
        for server in (self.dbus, self.xvfb):
            try:
                os.killpg(server.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            server.wait()
        self.dbus.stdout.close()


def one_start(x, command, desktop, base, files=None):
    """Returns (ms until mapped, VmRSS in MB); adds the files the program
    maps to `files`."""
    work = Path(tempfile.mkdtemp(prefix="run-", dir=base))
    try:
        (work / "games").mkdir()
        display = x.XOpenDisplay(desktop.display.encode())
        if not display:
            raise SystemExit(f"cannot open display {desktop.display}")
        root = x.XDefaultRootWindow(display)
        x.XSelectInput(display, root, SUBSTRUCTURE_NOTIFY_MASK)
        x.XSync(display, 0)
        fd = x.XConnectionNumber(display)

        start = time.monotonic()
        proc = subprocess.Popen(command, cwd=work, env=desktop.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        mapped = None
        event = XEvent()
        deadline = start + 60
        while mapped is None and time.monotonic() < deadline:
            if not x.XPending(display):
                select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
                continue
            x.XNextEvent(display, ctypes.byref(event))
            if event.type == MAP_NOTIFY and window_name(x, display, event.xmap.window) == TITLE:
                mapped = time.monotonic()
        x.XCloseDisplay(display)
        if mapped is None:
            proc.kill()
            proc.wait()
            raise SystemExit(f"{command[0]}: the first screen was never mapped")
        time.sleep(max(0.0, start + 1.0 - time.monotonic()))
        rss = resident_mb(proc.pid)
        if files is not None:
            files |= mapped_files(proc.pid)
        proc.terminate()
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        return (mapped - start) * 1000, rss
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", type=Path, default=SOURCE_DIR / "build")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--gl", action="store_true", help="keep GTK's OpenGL probe")
    args = parser.parse_args()
    build = args.build.resolve()
    programs = {
        "tallowick": [str(build / "tallowick")],
        "wxPython": ["/usr/bin/python3", "-c", WX_FRAME],
        "bare_frame": [str(build / "bare_frame")],
    }
    x = xlib()
    results = {(kind, name): [] for kind in ("first", "warm") for name in programs}
    base = Path(tempfile.mkdtemp(prefix="tallowick-startup-"))
    files = {name: set() for name in programs}
    try:
        desktop = Desktop(base, args.gl)
        try:
            for name, command in programs.items():
                one_start(x, command, desktop, base, files[name])
            for i in range(args.runs):
                for name, command in programs.items():
                    results["warm", name].append(
                        one_start(x, command, desktop, base, files[name]))
                    ms, rss = results["warm", name][-1]
                    print(f"warm start {i + 1} {name}: {ms:.0f} ms, {rss:.1f} MB", flush=True)
        finally:
            desktop.close()
        for i in range(args.runs):
            for name, command in programs.items():
                desktop = Desktop(base, args.gl)
                try:
                    evict(files[name])
                    results["first", name].append(one_start(x, command, desktop, base))
                finally:
                    desktop.close()
                ms, rss = results["first", name][-1]
                print(f"first start {i + 1} {name}: {ms:.0f} ms, {rss:.1f} MB", flush=True)
    finally:
        shutil.rmtree(base, ignore_errors=True)

    def medians(kind, name):
        runs = results[kind, name]
        return (statistics.median(r[0] for r in runs), statistics.median(r[1] for r in runs),
                min(r[0] for r in runs), min(r[1] for r in runs))

    print(f"\nstart-up, {args.runs} starts of each{' (OpenGL probe kept)' if args.gl else ''}: "
          "time to the first screen mapped, VmRSS 1 s after the start; median (min)")
    print(f"{'':24}{'first start':>28}{'warm start':>28}")
    for name in programs:
        cells = []
        for kind in ("first", "warm"):
            ms, mb, ms_min, mb_min = medians(kind, name)
            cells.append(f"{ms:6.0f} ({ms_min:4.0f}) ms {mb:5.1f} ({mb_min:4.1f}) MB")
        print(f"{name:24}{cells[0]:>28}{cells[1]:>28}")
    for other in ("wxPython", "bare_frame"):
        cells = []
        for kind in ("first", "warm"):
            ours, theirs = medians(kind, "tallowick"), medians(kind, other)
            cells.append(f"x{ours[0] / theirs[0]:.2f} time, x{ours[1] / theirs[1]:.2f} memory")
        print(f"{'tallowick / ' + other:24}{cells[0]:>28}{cells[1]:>28}")


if __name__ == "__main__":
    main()
