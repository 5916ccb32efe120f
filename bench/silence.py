"""How soon Tallowick falls silent when the player presses Ctrl: the time
from the key's release (and from its press) to speech-dispatcher receiving
our cancel, while a long reply is being read out.

Runs build/tallowick on Lantern Hall under the black-box tests' desktop and
private speech-dispatcher (logging at level 5, which stamps every command it
receives to the microsecond), presses Ctrl through XTest, and reads the stamp
of the "Cancel received" that follows.

    tests/tools/with-desktop /usr/bin/python3 bench/silence.py [build] [runs]
"""
import ctypes
import ctypes.util
import datetime
import os
import re
import statistics
import sys
import time
from pathlib import Path

root = Path(__file__).resolve().parents[1]
build = Path(sys.argv[1] if len(sys.argv) > 1 else root / "build").resolve()
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 10
os.environ.update(TALLOWICK_BINARY_DIR=str(build), TALLOWICK=str(build / "tallowick"),
                  PRIVATE_SPEECHD_LOGLEVEL="5")
sys.path.insert(0, str(root / "tests" / "blackbox"))
import harness  # noqa: E402

x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
xtst = ctypes.CDLL(ctypes.util.find_library("Xtst"))
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
display = x11.XOpenDisplay(None)
control = x11.XKeysymToKeycode(display, 0xFFE3)  # Control_L


def key(press):
    xtst.XTestFakeKeyEvent(display, control, press, 0)
    x11.XSync(display, 0)  # the server has it when this returns
    return time.time()


def cancels(log):
    """The times speech-dispatcher received a cancel, as Unix times."""
    found = []
    for line in log.read_text(errors="replace").splitlines():
        m = re.match(r"\[(.+?) : (\d+)\] speechd:\s+Cancel received", line)
        if m:
            t = datetime.datetime.strptime(m.group(1), "%a %b %d %H:%M:%S %Y")
            found.append(t.timestamp() + int(m.group(2)) / 1e6)
    return found


class Bench(harness.ProgramTest):
    def runTest(self):
        program = self.start_game()
        speech = program.speech
        log = speech.dir / "log" / "speech-dispatcher.log"
        speech.wait("Rain follows you in")
        from_press, from_release = [], []
        for _ in range(runs):
            speech.hold()
            program.command("read ledger", "You turn to the first page")
            program.focus_top()
            before = len(cancels(log))
            pressed = key(True)
            released = key(False)
            cancel = harness.wait_for(lambda: cancels(log)[before:], "the cancel")[0]
            from_press.append((cancel - pressed) * 1000)
            from_release.append((cancel - released) * 1000)
            speech.release()
        print(f"Ctrl to silence over {runs} presses, in ms (negative: before the release):")
        for name, values in (("from the press", from_press), ("from the release", from_release)):
            print(f"  {name:17} median {statistics.median(values):6.2f}  "
                  f"min {min(values):6.2f}  max {max(values):6.2f}")


if __name__ == "__main__":
    import unittest
    unittest.TextTestRunner(verbosity=0).run(Bench())
