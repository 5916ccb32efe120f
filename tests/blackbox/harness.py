"""build/tallowick run as a player would, by X key presses to the topmost window, and observed
from outside: the screen over AT-SPI as a screen reader reads it, the voice through a private
speech-dispatcher, files and processes."""
import contextlib
import ctypes
import ctypes.util
import fcntl
import http.server
import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import unittest
from pathlib import Path

import pyatspi
from gi.repository import Atspi

BINARY_DIR = Path(os.environ["TALLOWICK_BINARY_DIR"])
PROGRAM = Path(os.environ["TALLOWICK"])
STORIES = BINARY_DIR / "stories"
TOOLS = Path(__file__).resolve().parents[1] / "tools"
FRAME = "Tallowick, by Brennholt."
FAKE_HEADER = bytes([5, 0, 0, 0]) + bytes([0, 64]) * 6 + bytes(48)  # of Fake.z5
BUTTONS = ["Open a game.", "Choose a game from our database.", "Exit!"]
SAVE_QUESTION = "What would you like to name your game?"
GAMES_TITLE = "Please choose a game you wish to play."
SAVES_TITLE = "Please choose a save file."
WINDOW_ROLES = (pyatspi.ROLE_FRAME, pyatspi.ROLE_DIALOG, pyatspi.ROLE_ALERT)
DEADLINE = 45.0
Atspi.set_timeout(10000, 15000)


def wait_for(condition, what, detail=None, timeout=DEADLINE, progress=None):
    """Polls `condition` until it gives something true, and returns that. While `progress()`
    changes, the deadline starts again: it bounds a program that is stuck, not a slow one."""
    end = time.monotonic() + timeout
    seen = progress() if progress else None
    while True:
        with contextlib.suppress(Exception):
            value = condition()
            if value:
                return value
        if progress and (now := progress()) != seen:
            seen, end = now, time.monotonic() + timeout
        if time.monotonic() > end:
            raise AssertionError(f"gave up waiting for {what}\n{detail() if detail else ''}")
        time.sleep(0.05)


def walk(obj):
    yield obj
    with contextlib.suppress(Exception):
        for child in obj:
            if child is not None:
                yield from walk(child)


def describe(obj, depth=0):
    try:
        line = f"{'  ' * depth}{obj.getRoleName()} {obj.name!r}"
        return "\n".join([line] + [describe(c, depth + 1) for c in obj if c is not None])
    except Exception as e:  # noqa: BLE001 - gone while read
        return f"{'  ' * depth}<gone: {e}>"


def window_of(obj):
    while obj is not None and obj.getRole() not in WINDOW_ROLES:
        obj = obj.parent
    return obj


def text_of(obj):
    return obj.queryText().getText(0, -1)


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True).stdout


def close_window(window):
    """The close box's WM_DELETE_WINDOW (xdotool's windowclose destroys the window)."""
    x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XInternAtom.restype = ctypes.c_ulong
    display = ctypes.c_void_p(x11.XOpenDisplay(None))
    atom = lambda name: x11.XInternAtom(display, name, False)  # noqa: E731
    # A ClientMessage: type, serial, send_event, display, window, message_type, format, data.
    event = (ctypes.c_long * 24)(33, 0, 0, 0, int(window), atom(b"WM_PROTOCOLS"), 32,
                                 atom(b"WM_DELETE_WINDOW"))
    x11.XSendEvent(display, ctypes.c_ulong(int(window)), False, ctypes.c_long(0), event)
    x11.XCloseDisplay(display)


def processes(*words):
    """Running processes whose command line has each of `words` (a game's folder: its own)."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        with contextlib.suppress(OSError):
            stat = Path(f"/proc/{pid}/stat").read_text()
            cmd = Path(f"/proc/{pid}/cmdline").read_bytes().decode(errors="replace")
            if stat[stat.rindex(")") + 2] not in "ZX" and all(str(w) in cmd for w in words):
                found.append(int(pid))
    return found


class Server(http.server.ThreadingHTTPServer):
    """An HTTP server on 127.0.0.1 at a free port."""

    def __init__(self):
        self.requests = []
        self.files = {}
        self.mirror = None
        self.released = threading.Event()
        super().__init__(("127.0.0.1", 0), Archive)
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def url(self, path):
        return f"http://127.0.0.1:{self.server_address[1]}{path}"

    def stop(self):
        self.released.set()
        self.shutdown()


class Archive(http.server.BaseHTTPRequestHandler):
    """The IF Archive as a download meets it: sent on to the `mirror`, which serves its files
    chunked, with no length, all but the first chunk held back until `released`."""
    protocol_version = "HTTP/1.1"

    def do_GET(self):  # noqa: N802 - the library's name
        self.server.requests.append(self.path)
        if self.server.mirror:
            self.send_response(302)
            self.send_header("Location", self.server.mirror.url(self.path))
            self.send_header("Content-Length", "0")
            return self.end_headers()
        body = self.server.files.get(self.path)
        if body is None:
            return self.send_error(404)
        self.send_response(200)
        self.send_header("Transfer-Encoding", "chunked")
        self.send_header("Connection", "close")
        self.end_headers()
        for i, at in enumerate(range(0, len(body), 4096)):
            if i == 1:
                self.server.released.wait(DEADLINE)
            piece = body[at:at + 4096]
            self.wfile.write(f"{len(piece):x}\r\n".encode() + piece + b"\r\n")
            self.wfile.flush()
        self.wfile.write(b"0\r\n\r\n")

    def log_message(self, *args):
        pass


class Speech:
    """A private speech-dispatcher whose voice logs each utterance."""

    def __init__(self):
        self.dir = Path(tempfile.mkdtemp(prefix="tallowick-speech-"))
        out = subprocess.run([str(TOOLS / "private-speechd"), "start", str(self.dir)],
                             capture_output=True, text=True, check=True).stdout
        self.address = out.split()[-1]

    def stop(self):
        subprocess.run([str(TOOLS / "private-speechd"), "stop", str(self.dir)])
        shutil.rmtree(self.dir, ignore_errors=True)

    def said(self):
        with contextlib.suppress(FileNotFoundError):
            data = (self.dir / "spoken.log").read_bytes().decode("utf-8", "replace")
            return [re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r"}.get(m[1], m[1]), line)
                    for line in data.split("\n")[:-1]]
        return []

    def rates(self):
        with contextlib.suppress(FileNotFoundError):
            return [int(r) for r in (self.dir / "rates.log").read_text().split()]
        return []

    def hold(self):
        """Keeps the voice on its next utterance, as if still saying it, until release()."""
        self.gate = open(self.dir / "gate", "w")
        fcntl.flock(self.gate, fcntl.LOCK_EX)

    def release(self):
        fcntl.flock(self.gate, fcntl.LOCK_UN)
        self.gate.close()

    def wait_held(self, held=True):
        """Waits until an utterance is (or none is) still being said: held at the gate."""
        wait_for(lambda: bool(processes("flock", self.dir / "gate")) == held,
                 "a piece being said" if held else "the piece stopped", self.tail)

    def mark(self):
        return len(self.said())

    def tail(self):
        return "--- said last ---\n" + "\n".join(repr(u) for u in self.said()[-25:])

    def wait(self, *texts, since=0):
        """Waits until utterances that start with `texts` are said, in order, after `since`."""
        def found():
            at, spoken = since, self.said()
            for text in texts:
                at = next((i + 1 for i in range(at, len(spoken)) if spoken[i].startswith(text)),
                          None)
                if at is None:
                    return None
            return at
        return wait_for(found, f"speech {texts!r}", self.tail, progress=self.mark)


class Program:
    """build/tallowick (or `program`) running in `cwd` with `home` as HOME."""

    def __init__(self, cwd, home, xdg, speech, program=PROGRAM, args=(), env=None):
        self.cwd = Path(cwd)
        self.speech = speech
        self.config = xdg / "config"
        # The toolkit's caches go beside HOME, which shows only what the program does.
        environment = dict(os.environ, HOME=str(home), NO_PROXY="127.0.0.1",
                           SPEECHD_ADDRESS=speech.address, XDG_CONFIG_HOME=str(self.config),
                           XDG_CACHE_HOME=str(xdg / "cache"), XDG_DATA_HOME=str(xdg / "data"))
        environment.update(env or {})
        self.log = tempfile.TemporaryFile()
        self.process = subprocess.Popen([str(program), *args], cwd=cwd, env=environment,
                                        stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log)
        self.pid = self.process.pid

    def app(self):
        for app in pyatspi.Registry.getDesktop(0):
            with contextlib.suppress(Exception):
                if app is not None and app.get_process_id() == self.pid:
                    return app
        return None

    def screen(self):
        app = self.app()
        self.log.seek(0)
        return f"{describe(app) if app else '(not on the bus)'}\n--- printed ---\n" \
               f"{self.log.read().decode('utf-8', 'replace')}\n{self.speech.tail()}"

    def find(self, role, name=None):
        return next((o for o in walk(self.app()) if o.getRole() == role
                     and (name is None or o.name == name)), None)

    def wait_find(self, role, name=None):
        return wait_for(lambda: self.find(role, name), f"{pyatspi.Role(role)} {name!r}",
                        self.screen)

    def focus_top(self):
        windows = xdotool("search", "--onlyvisible", "--pid", str(self.pid)).split()
        if windows:
            xdotool("windowfocus", windows[-1])

    def focused(self):
        self.focus_top()
        return next((o for o in walk(self.app())
                     if o.getRole() not in WINDOW_ROLES
                     and o.getState().contains(pyatspi.STATE_FOCUSED)), None)

    def wait_focus(self, role, name=None, window=None):
        """The focus on a `role` control named `name`, or in the window named `window`."""
        return wait_for(lambda: (f := self.focused()) and f.getRole() == role
                        and name in (None, f.name) and window in (None, window_of(f).name)
                        and f, f"the focus on a {pyatspi.Role(role)} {name or window!r}",
                        self.screen)

    def wait_chooser(self, title):
        return self.wait_focus(pyatspi.ROLE_TABLE, window=title)

    def wait_first_screen(self):
        def shown():
            frame = self.find(pyatspi.ROLE_FRAME, FRAME)
            names = [b.name for b in walk(frame) if b.getRole() == pyatspi.ROLE_PUSH_BUTTON]
            return names == BUTTONS and self.focused().name == BUTTONS[0]
        wait_for(shown, "the first screen, focus on \"Open a game.\"", self.screen)

    def key(self, *keys):
        self.focus_top()
        xdotool("key", "--clearmodifiers", *keys)

    def press(self, key, *said):
        """Presses `key`, waits for `said`; returns where speech stood before."""
        mark = self.speech.mark()
        self.key(key)
        self.speech.wait(*said, since=mark)
        return mark

    def save(self, name, *said, replace=None):
        """Saves as `name` by Ctrl+S, answering "Replace it?" with the key `replace`."""
        self.wait_focus(pyatspi.ROLE_TEXT, "Input.")
        self.key("ctrl+s")
        self.wait_focus(pyatspi.ROLE_TEXT, window=SAVE_QUESTION)
        mark = self.speech.mark()
        self.type(name)
        self.key("Return")
        if replace:
            self.answer_alert("Confirmation.", replace)
        self.speech.wait(*said, since=mark)

    def restore(self, *said):
        """Restores the newest save through our list (Ctrl+R); waits for `said`."""
        self.key("ctrl+r")
        self.wait_chooser(SAVES_TITLE)
        self.press("Return", *said)

    def answer_alert(self, caption, key="Return"):
        """Answers the message box `caption` with `key`, waits until it has gone; its text."""
        text = self.wait_find(pyatspi.ROLE_ALERT, caption).description
        self.key(key)
        wait_for(lambda: self.process.poll() is not None
                 or self.find(pyatspi.ROLE_ALERT, caption) is None, f"{caption!r} gone",
                 self.screen)
        return text

    def quit_game(self):
        self.key("ctrl+q")
        self.answer_alert("Confirmation.")
        self.wait_first_screen()

    def type(self, text):
        self.focus_top()
        xdotool("type", "--clearmodifiers", "--delay", "5", text)

    def close(self):
        window = wait_for(lambda: xdotool("search", "--name", f"^{FRAME}$").split(), "the frame")
        close_window(window[0])
        return self.wait_exit()

    def wait_exit(self):
        wait_for(lambda: self.process.poll() is not None, "the program to end", self.screen)
        return self.process.returncode

    def view(self):
        return text_of(self.find(pyatspi.ROLE_TEXT, "Output."))

    def command(self, text, *said):
        """Types `text` into "Input.", Enter; waits for `said`; returns where speech stood."""
        field = self.wait_focus(pyatspi.ROLE_TEXT, "Input.")
        mark = self.speech.mark()
        self.type(text)
        wait_for(lambda: text_of(field) == text, f"{text!r} typed", self.screen)
        self.key("Return")
        if said:
            self.speech.wait(*said, since=mark)
        return mark

    def links(self):
        """Opens the list of links (Ctrl+K); the links in it."""
        self.key("ctrl+k")
        table = self.wait_chooser("Please choose a link.")
        return wait_for(lambda: [o.name for o in walk(table)
                                 if o.getRole() == pyatspi.ROLE_TABLE_CELL] or None,
                        "the links listed", self.screen)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.log.close()
        for pid in processes(self.cwd):
            with contextlib.suppress(ProcessLookupError):
                os.kill(pid, signal.SIGKILL)


class ProgramTest(unittest.TestCase):
    """Starts the program in scratch folders and cleans up after it."""

    def temp_dir(self):
        path = Path(tempfile.mkdtemp(prefix="tallowick-"))
        self.addCleanup(shutil.rmtree, path, ignore_errors=True)
        return path

    def keyboard(self, layout):
        """Switches the keyboard to `layout` for the test: a letter the keyboard lacks, xdotool
        types by remapping a key for a moment, which a busy program reads too late."""
        subprocess.run(["setxkbmap", layout], check=True)
        self.addCleanup(subprocess.run, ["setxkbmap", "us"])

    def portable(self, catalogue=None, stories=("lantern",)):
        """A portable copy's folder: games/ with our stories, games.json."""
        cwd = self.temp_dir()
        (cwd / "games").mkdir()
        for name in stories:
            shutil.copy(STORIES / story_file(name), cwd / "games" / story_file(name))
        if catalogue is not None:
            (cwd / "games.json").write_text(json.dumps(catalogue), encoding="utf-8")
        return cwd

    def catalogued(self, story="lantern", title="Lantern Hall"):
        """A portable copy's folder whose catalogue lists `story` as `title`, downloaded."""
        file = story_file(story)
        cwd = self.portable({title: ["A test.", "Us", f"http://127.0.0.1:1/{file}"]}, [story])
        (cwd / "games" / file).rename(cwd / "games" / (title + Path(file).suffix))
        return cwd

    def speech(self):
        speech = Speech()
        self.addCleanup(speech.stop)
        return speech

    def start(self, cwd, home=None, held=False, speech=None, **kwargs):
        """Starts the program in `cwd`, its voice `held` from the first word."""
        speech = speech or self.speech()
        if held:
            speech.hold()
        program = Program(cwd, home or self.temp_dir(), self.temp_dir(), speech, **kwargs)
        self.addCleanup(program.kill)
        wait_for(lambda: program.app() or program.process.poll() is not None,
                 "the program on the accessibility bus", program.screen)
        return program

    def choose(self, program, row=0, until_input=True):
        """Starts the catalogue's game on `row` from the first screen."""
        program.wait_first_screen()
        program.key("Tab", "Return")
        program.wait_chooser(GAMES_TITLE)
        program.key(*["Down"] * row, "Return")
        if until_input:
            program.wait_focus(pyatspi.ROLE_TEXT, "Input.")
        return program

    def start_game(self, story="lantern", title="Lantern Hall", until_input=True, **kwargs):
        """Starts the program and `story` from its catalogue as `title`."""
        return self.choose(self.start(self.catalogued(story, title), **kwargs),
                           until_input=until_input)

    def fake_game(self, *mode, story=b"", stories=(), **kwargs):
        """Starts the program with the fake interpreter as ./dfrotz in `mode` (its words),
        playing Fake.z5 (with `story`) beside `stories`."""
        cwd = self.portable({"Fake": ["A fault.", "Us", "http://127.0.0.1:1/fake.z5"]}, stories)
        # A Z-machine header to be started; its mode at its end: a confined fake runs no script.
        (cwd / "games" / "Fake.z5").write_bytes(FAKE_HEADER + story)
        (cwd / "dfrotz").write_bytes((BINARY_DIR / "fake_interpreter").read_bytes()
                                     + b"\n--fake_interpreter mode--\n"
                                     + "\n".join(map(str, mode)).encode())
        (cwd / "dfrotz").chmod(0o755)
        return self.choose(self.start(cwd, **kwargs), until_input=False)


def story_file(name):
    return name if "." in name else f"{name}.z5"


def main():
    unittest.main(verbosity=2, warnings="ignore")  # pyatspi's deprecations
