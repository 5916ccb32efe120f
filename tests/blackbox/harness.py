"""Shared machinery of the black-box tests.

The tests run build/tallowick itself, as a player would, and observe it only
from the outside: the screen through AT-SPI (as a screen reader reads it),
the voice through a private speech-dispatcher that logs every utterance,
files on disk, processes in /proc and the exit status. Keys are real X key
presses sent with xdotool.

There is no window manager under tests/tools/with-desktop, so nobody gives a
newly mapped window the keyboard focus. The harness does what the simplest
window manager would: before it presses keys or asks which widget has the
focus, it gives the X input focus to the program's topmost window
(`xdotool windowfocus`). Closing a window the way a window manager does is a
WM_DELETE_WINDOW client message, sent here through libX11.

Nothing waits on the clock: every wait polls for a condition and gives up
only after a generous overall deadline, so a broken program fails the test
instead of hanging it.
"""
import contextlib
import ctypes
import ctypes.util
import http.server
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import warnings
from pathlib import Path

import pyatspi
from gi.repository import Atspi

SOURCE_DIR = Path(os.environ.get("TALLOWICK_SOURCE_DIR") or Path(__file__).resolve().parents[2])
BINARY_DIR = Path(os.environ.get("TALLOWICK_BINARY_DIR") or SOURCE_DIR / "build")
PROGRAM = Path(os.environ.get("TALLOWICK") or BINARY_DIR / "tallowick")
STORY = BINARY_DIR / "stories" / "lantern.z5"
TOOLS = SOURCE_DIR / "tests" / "tools"

FRAME = "Tallowick, by Brennholt."
BUTTONS = ("Open a game.", "Choose a game from our database.", "Exit!")
GAME_CHOOSER = "Please choose a game you wish to play."
SAVE_CHOOSER = "Please choose a save file."
SAVE_NAME_PROMPT = "What would you like to name your game?"

# The overall bound of any one wait. Generous: it only decides how long a
# broken program takes to fail, never whether a working one passes.
DEADLINE = 45.0
POLL = 0.05

# A program that answers no AT-SPI request (a modal loop inside the
# bridge's dispatch) would hold every call for libatspi's default 25 s.
Atspi.set_timeout(10000, 15000)


# --------------------------------------------------------------------------
# Waiting


def wait_for(condition, what, timeout=DEADLINE, detail=None):
    """Polls `condition` until it returns something true and returns that.
    AT-SPI objects vanish while they are read (a dialog closes, a screen is
    replaced); such errors count as "not yet". On timeout fails with `what`
    and, if given, `detail()` (the state seen last)."""
    end = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = condition()
            if value:
                return value
        except Exception as e:  # noqa: BLE001 - objects die under our feet
            last_error = e
        if time.monotonic() > end:
            message = f"gave up waiting for {what}"
            if detail is not None:
                try:
                    message += f"\n--- seen last ---\n{detail()}"
                except Exception as e:  # noqa: BLE001
                    message += f"\n(no detail: {e})"
            if last_error is not None:
                message += f"\n(last error: {last_error!r})"
            raise AssertionError(message)
        time.sleep(POLL)


# --------------------------------------------------------------------------
# AT-SPI


def children(obj):
    try:
        return [c for c in obj if c is not None]
    except Exception:  # noqa: BLE001
        return []


def walk(obj):
    """The object and all its descendants, depth first."""
    yield obj
    for child in children(obj):
        yield from walk(child)


def has_state(obj, state):
    return obj.getState().contains(state)


def matches(obj, role_=None, name=None):
    try:
        return (role_ is None or obj.getRole() == role_) and (name is None or obj.name == name)
    except Exception:  # noqa: BLE001
        return False


def find(root, role_=None, name=None):
    return next((o for o in walk(root) if matches(o, role_, name)), None)


def find_all(root, role_=None, name=None):
    return [o for o in walk(root) if matches(o, role_, name)]


def text_of(obj):
    return obj.queryText().getText(0, -1)


def describe(obj, depth=0):
    """The tree below `obj`, one object a line, for failure messages."""
    lines = []
    try:
        states = [pyatspi.stateToString(s) for s in obj.getState().getStates()]
        keep = [s for s in states if s in ("focused", "active", "modal", "selected")]
        lines.append(f"{'  ' * depth}{obj.getRoleName()} {obj.name!r} {obj.description!r} {keep}")
    except Exception as e:  # noqa: BLE001
        lines.append(f"{'  ' * depth}<gone: {e}>")
        return "\n".join(lines)
    for child in children(obj):
        lines.append(describe(child, depth + 1))
    return "\n".join(lines)


def press_button(button):
    """Presses a push button through its AT-SPI action, as a screen reader's
    "activate" command does. Only for buttons that open no modal dialog: the
    accessibility bridge runs the action from inside its D-Bus dispatch, so
    while a modal loop started there runs, the program answers no AT-SPI
    request at all (the keyboard has no such limit)."""
    action = button.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    action.doAction(names.index("click") if "click" in names else 0)


# --------------------------------------------------------------------------
# X: keys, focus and closing


def xdotool(*args, check=True):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True, check=check).stdout


class _XClientMessageEvent(ctypes.Structure):
    _fields_ = [
        ("type", ctypes.c_int),
        ("serial", ctypes.c_ulong),
        ("send_event", ctypes.c_int),
        ("display", ctypes.c_void_p),
        ("window", ctypes.c_ulong),
        ("message_type", ctypes.c_ulong),
        ("format", ctypes.c_int),
        ("data", ctypes.c_long * 5),
    ]


class _XEvent(ctypes.Union):
    _fields_ = [("xclient", _XClientMessageEvent), ("pad", ctypes.c_long * 24)]


def close_window(window):
    """Asks an X window to close, exactly as a window manager does when the
    player presses its close box or Alt+F4: a WM_DELETE_WINDOW message. (
    xdotool's windowclose and windowkill destroy the window instead.)"""
    x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(_XEvent)]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        raise RuntimeError("cannot open the X display")
    try:
        event = _XEvent()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = int(window)
        event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", False)
        event.xclient.format = 32
        event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", False)
        event.xclient.data[1] = 0  # CurrentTime
        if not x11.XSendEvent(display, int(window), False, 0, ctypes.byref(event)):
            raise RuntimeError("XSendEvent failed")
    finally:
        x11.XCloseDisplay(display)  # flushes the request


# --------------------------------------------------------------------------
# Processes


def _proc_stat(pid):
    """(state, parent pid, start time) of a process, or None when gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            text = f.read()
    except OSError:
        return None
    fields = text[text.rindex(")") + 2:].split()
    return fields[0], int(fields[1]), int(fields[19])


def _exe_name(pid):
    try:
        return os.path.basename(os.readlink(f"/proc/{pid}/exe"))
    except OSError:
        return None


def _cmdline(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return f.read().decode("utf-8", "replace").replace("\0", " ")
    except OSError:
        return ""


def processes():
    return [int(p) for p in os.listdir("/proc") if p.isdigit()]


def alive(process):
    """Whether a (pid, start time) pair still names a running process; an
    exited one waiting to be reaped counts as gone."""
    pid, start = process
    stat = _proc_stat(pid)
    return stat is not None and stat[2] == start and stat[0] not in ("Z", "X")


# --------------------------------------------------------------------------
# Speech


def unescape(line):
    """Undoes private-speechd's escaping of one logged utterance."""
    out, i = [], 0
    while i < len(line):
        c = line[i]
        if c == "\\" and i + 1 < len(line):
            out.append({"n": "\n", "r": "\r", "\\": "\\"}.get(line[i + 1], line[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


class Speech:
    """A private speech-dispatcher whose voice writes every utterance to a
    log (tests/tools/private-speechd)."""

    def __init__(self):
        self.dir = Path(tempfile.mkdtemp(prefix="tallowick-speech-"))
        out = subprocess.run([str(TOOLS / "private-speechd"), "start", str(self.dir)],
                             capture_output=True, text=True, check=True).stdout
        self.address = out.strip().splitlines()[-1]
        self.log = self.dir / "spoken.log"

    def stop(self):
        subprocess.run([str(TOOLS / "private-speechd"), "stop", str(self.dir)], check=False)
        shutil.rmtree(self.dir, ignore_errors=True)

    def utterances(self):
        """Everything spoken so far, one string an utterance."""
        try:
            data = self.log.read_bytes().decode("utf-8", "replace")
        except FileNotFoundError:
            return []
        # A line is complete once its "\n" is written.
        return [unescape(line) for line in data.split("\n")[:-1]]

    def mark(self):
        """A position in the log: what is spoken after it is new."""
        return len(self.utterances())

    def since(self, mark):
        return self.utterances()[mark:]

    def tail(self, n=30):
        return "\n".join(repr(u) for u in self.utterances()[-n:])

    def wait_said(self, text, since=0):
        """Waits until one utterance after `since` is exactly `text`; returns
        its index."""
        def found():
            spoken = self.utterances()
            for i in range(since, len(spoken)):
                if spoken[i] == text:
                    return i + 1  # never 0, which would read as "not yet"
            return None
        return wait_for(found, f"the utterance {text!r}", detail=self.tail) - 1

    def wait_sequence(self, texts, since=0):
        """Waits until `texts` have been spoken as consecutive utterances
        after `since`; returns the index of the first."""
        texts = list(texts)

        def found():
            spoken = self.utterances()
            for i in range(since, len(spoken) - len(texts) + 1):
                if spoken[i:i + len(texts)] == texts:
                    return i + 1
            return None
        return wait_for(found, f"the utterances {texts!r} in a row", detail=self.tail) - 1

    def wait_heard(self, fragments, since=0):
        """Waits until everything spoken after `since`, run together, holds
        each fragment in order. For long texts that the generic module
        speaks in several parts."""
        def found():
            return in_order(" ".join(self.utterances()[since:]), fragments)
        return wait_for(found, f"speech holding {fragments!r}", detail=self.tail)


def in_order(text, fragments):
    """Whether `text` holds every fragment, each after the one before."""
    at = 0
    for fragment in fragments:
        at = text.find(fragment, at)
        if at < 0:
            return False
        at += len(fragment)
    return True


# --------------------------------------------------------------------------
# The program


class Program:
    """build/tallowick running in `cwd` with `home` as its HOME."""

    def __init__(self, cwd, home, speech=None, toolkit_dir=None):
        self.cwd = Path(cwd)
        env = dict(os.environ, HOME=str(home), NO_PROXY="127.0.0.1,localhost",
                   no_proxy="127.0.0.1,localhost")
        env.pop("SPEECHD_ADDRESS", None)
        if speech is not None:
            env["SPEECHD_ADDRESS"] = speech.address
        if toolkit_dir is not None:
            # What the toolkit keeps for itself (caches, settings) goes here,
            # so that HOME shows only what the program does.
            for var in ("XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"):
                env[var] = str(Path(toolkit_dir) / var.lower())
        self.stderr = tempfile.TemporaryFile()
        self.process = subprocess.Popen([str(PROGRAM)], cwd=self.cwd, env=env,
                                        stdin=subprocess.DEVNULL, stdout=self.stderr,
                                        stderr=self.stderr)
        self.pid = self.process.pid
        self.seen_interpreters = set()

    # -- life

    def running(self):
        return self.process.poll() is None

    def wait_exit(self):
        """The exit status, once the program has ended."""
        wait_for(lambda: not self.running(), "the program to exit", detail=self.screen)
        return self.process.returncode

    def kill(self):
        if self.running():
            self.process.send_signal(signal.SIGKILL)
            self.process.wait()
        for pid, _ in self.interpreters_left():
            with contextlib.suppress(ProcessLookupError):
                os.kill(pid, signal.SIGKILL)
        self.stderr.close()

    def output(self):
        """What the program wrote on stdout and stderr."""
        if self.stderr.closed:
            return ""
        self.stderr.seek(0)
        return self.stderr.read().decode("utf-8", "replace")

    def interpreters(self):
        """The interpreter processes the program runs now, as (pid, start
        time); each one seen is remembered for interpreters_left()."""
        found = set()
        for pid in processes():
            stat = _proc_stat(pid)
            if stat and stat[1] == self.pid and stat[0] not in ("Z", "X") \
                    and _exe_name(pid) == "dfrotz":
                found.add((pid, stat[2]))
        self.seen_interpreters |= found
        return found

    def interpreters_left(self):
        """The interpreters once seen that still run, whoever their parent
        is now, and any other interpreter running a story from this run's
        folder."""
        left = {p for p in self.seen_interpreters if alive(p)}
        for pid in processes():
            stat = _proc_stat(pid)
            if stat and stat[0] not in ("Z", "X") and _exe_name(pid) == "dfrotz" \
                    and str(self.cwd) in _cmdline(pid):
                left.add((pid, stat[2]))
        return sorted(left)

    # -- the screen

    def app(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for app in children(desktop):
            try:
                if app.get_process_id() == self.pid:
                    return app
            except Exception:  # noqa: BLE001
                continue
        return None

    def screen(self):
        """The program's whole accessible tree as text, and what it printed."""
        app = self.app()
        tree = describe(app) if app is not None else "(no application on the bus)"
        return f"{tree}\n--- program output ---\n{self.output()}"

    def find(self, role_=None, name=None):
        app = self.app()
        return find(app, role_, name) if app is not None else None

    def find_all(self, role_=None, name=None):
        app = self.app()
        return find_all(app, role_, name) if app is not None else []

    def wait_find(self, role_=None, name=None, what=None):
        return wait_for(lambda: self.find(role_, name),
                        what or f"a {pyatspi.Role(role_) if role_ is not None else 'object'} "
                                f"named {name!r}",
                        detail=self.screen)

    def frame(self):
        return self.find(pyatspi.ROLE_FRAME, FRAME)

    def buttons(self):
        frame = self.frame()
        return find_all(frame, pyatspi.ROLE_PUSH_BUTTON) if frame is not None else []

    def first_screen_shown(self):
        """Whether the first screen is up: the frame with exactly the three
        buttons, and "Open a game." focused."""
        buttons = self.buttons()
        if [b.name for b in buttons] != list(BUTTONS):
            return False
        focused = self.focused()
        return focused is not None and focused.getRole() == pyatspi.ROLE_PUSH_BUTTON \
            and focused.name == BUTTONS[0]

    def wait_first_screen(self):
        wait_for(self.first_screen_shown,
                 "the first screen (three buttons, focus on \"Open a game.\")",
                 detail=self.screen)

    def windows(self):
        """The program's mapped X windows, bottom to top."""
        out = xdotool("search", "--onlyvisible", "--pid", str(self.pid), check=False)
        return [w for w in out.split()]

    def window_named(self, title):
        for w in self.windows():
            if xdotool("getwindowname", w, check=False).strip() == title:
                return w
        return None

    def focus_top(self):
        """Gives the X input focus to the program's topmost window, as a
        window manager would to a window just mapped."""
        windows = self.windows()
        if not windows:
            return False
        # xdotool syncs with the server before it exits, so keys sent after
        # this go to the window focused here.
        return subprocess.run(["xdotool", "windowfocus", windows[-1]],
                              capture_output=True).returncode == 0

    def focused(self):
        """The widget that has the keyboard focus, as a screen reader sees it."""
        self.focus_top()
        app = self.app()
        if app is None:
            return None
        for obj in walk(app):
            try:
                if obj.getRole() not in (pyatspi.ROLE_FRAME, pyatspi.ROLE_DIALOG,
                                         pyatspi.ROLE_ALERT) \
                        and has_state(obj, pyatspi.STATE_FOCUSED):
                    return obj
            except Exception:  # noqa: BLE001
                continue
        return None

    def wait_focused(self, role_, name, what=None):
        return wait_for(lambda: (f := self.focused()) is not None and matches(f, role_, name) and f,
                        what or f"the focus on the {pyatspi.Role(role_)} named {name!r}",
                        detail=self.screen)

    # -- the keyboard

    def key(self, *keys):
        """Presses keys (xdotool names: Return, Tab, ctrl+s...) in the
        topmost window."""
        self.focus_top()
        xdotool("key", "--clearmodifiers", *keys)

    def type(self, text):
        self.focus_top()
        xdotool("type", "--clearmodifiers", "--delay", "5", text)

    def close(self):
        """Closes the main window as its close box does."""
        window = wait_for(lambda: self.window_named(FRAME), "the main window on the X display")
        close_window(window)


class ProgramTest(unittest.TestCase):
    """A test case that starts the program in scratch directories and
    cleans up after it, whatever happens."""

    def run(self, result=None):
        with warnings.catch_warnings():
            # pyatspi calls Atspi functions that Atspi calls deprecated.
            warnings.filterwarnings("ignore", category=DeprecationWarning, module="pyatspi")
            return super().run(result)

    def temp_dir(self, prefix="tallowick-"):
        path = Path(tempfile.mkdtemp(prefix=prefix))
        self.addCleanup(shutil.rmtree, path, ignore_errors=True)
        return path

    def start_speech(self):
        speech = Speech()
        self.addCleanup(speech.stop)
        return speech

    def start(self, cwd, home, speech=None):
        program = Program(cwd, home, speech=speech, toolkit_dir=self.temp_dir("tallowick-xdg-"))
        self.addCleanup(program.kill)
        wait_for(lambda: program.app() is not None or not program.running(),
                 "the program on the accessibility bus", detail=program.output)
        return program


# --------------------------------------------------------------------------
# Games and the catalogue


def chooser(program, title):
    """Waits for a list chooser with the focus on its table, whose column is
    headed `title`; returns the table and its rows' text."""
    def focused_table():
        table = program.focused()
        if table is None or table.getRole() != pyatspi.ROLE_TABLE:
            return None
        if table.queryTable().getColumnDescription(0) != title:
            return None
        return table
    table = wait_for(focused_table, f"the focus in a table headed {title!r}",
                     detail=program.screen)
    # The focused table itself must carry the name: it is what is announced.
    if table.name != title:
        raise AssertionError(f"the chooser table is named {table.name!r}, not {title!r}")
    iface = table.queryTable()
    rows = [iface.getAccessibleAt(r, 0).name for r in range(iface.nRows)]
    return table, rows


def selected_rows(table):
    iface = table.queryTable()
    return [r for r in range(iface.nRows)
            if has_state(iface.getAccessibleAt(r, 0), pyatspi.STATE_SELECTED)]


class Game:
    """A game being played in the program: commands typed into "Input.",
    answers read from "Output." and heard in the speech log."""

    def __init__(self, program, speech):
        self.program = program
        self.speech = speech

    def output_view(self):
        return self.program.find(pyatspi.ROLE_TEXT, "Output.")

    def output(self):
        view = self.output_view()
        return text_of(view) if view is not None else ""

    def detail(self):
        return (f"--- Output. ends ---\n{self.output()[-1500:]}\n"
                f"--- spoken last ---\n{self.speech.tail()}\n"
                f"--- screen ---\n{self.program.screen()}")

    def wait_input_focused(self):
        return self.program.wait_focused(pyatspi.ROLE_TEXT, "Input.")

    def wait_shown(self, fragments, since=0):
        """Waits until the output view, from offset `since` on, holds each
        fragment in order."""
        return wait_for(lambda: in_order(self.output()[since:], fragments),
                        f"the output view to show {fragments!r}", detail=self.detail)

    def marks(self):
        """Where the output view and the speech log stand now."""
        return len(self.output()), self.speech.mark()

    def enter(self, text):
        """Types `text` into "Input." and presses Enter; returns the marks
        from before it, so the answer can be told from what came earlier."""
        field = self.wait_input_focused()
        marks = self.marks()
        self.program.type(text)
        wait_for(lambda: text_of(field) == text, f"{text!r} typed into \"Input.\"",
                 detail=self.detail)
        self.program.key("Return")
        return marks

    def command(self, text, shown=(), said=()):
        """Enters a command and waits for its answer: `shown` in the output
        view, `said` as consecutive utterances."""
        out, spoken = self.enter(text)
        if shown:
            self.wait_shown(shown, since=out)
        if said:
            self.speech.wait_sequence(said, since=spoken)
        return out, spoken


def write_catalogue(directory, games):
    """Writes games.json: {title: [description, author, uri]}."""
    Path(directory, "games.json").write_text(json.dumps(games, ensure_ascii=False),
                                             encoding="utf-8")


class StoryServer:
    """A web server on 127.0.0.1 (a free port) that serves the sample story
    at /lantern.z5, answers 404 elsewhere, and holds back everything but
    the first piece of the body until release() is called (or a long bound
    passes), so that the download is seen while it runs."""

    HEAD = 4096

    def __init__(self, body):
        self.body = body
        self.released = threading.Event()
        self.requests = []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):  # noqa: N802 - the library's name
                server.requests.append(self.path)
                if self.path != "/lantern.z5":
                    self.send_error(404, "Not Found")
                    return
                self.send_response(200)
                self.send_header("Content-Type", "application/octet-stream")
                self.send_header("Content-Length", str(len(server.body)))
                self.end_headers()
                self.wfile.write(server.body[:server.HEAD])
                self.wfile.flush()
                server.released.wait(DEADLINE)
                self.wfile.write(server.body[server.HEAD:])

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.httpd.daemon_threads = True
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def url(self, path):
        host, port = self.httpd.server_address[:2]
        return f"http://{host}:{port}{path}"

    def release(self):
        self.released.set()

    def stop(self):
        self.released.set()
        self.httpd.shutdown()
        self.httpd.server_close()


def main():
    if not PROGRAM.exists():
        sys.exit(f"no program at {PROGRAM}; build it first")
    unittest.main(verbosity=2)
