#!/usr/bin/python3
"""From opening a story to its first words heard: Lantern Hall's Glulx build
(lantern.gblorb, through Git) against its Z-code build (lantern.z5, through
our dfrotz), and our TADS 3 and Hugo stories (signalbox.t3, ferry.hex,
through Gargoyle's tads and hugo), side by side.

Each run starts `BUILD/tallowick games/STORY` in a fresh portable folder
(the working directory holds games/, which holds a copy of the story, so
nothing touches HOME), under one Xvfb and D-Bus session of the bench's own
(bench/startup.py's), with a fresh private speech-dispatcher
(tests/tools/private-speechd) whose voice appends each utterance to
spoken.log. The time runs from just before the launch to the kernel's word
(inotify) that the story's first line ("Rain follows you in from the
dark.", "The Signal Box", "The Ferry Landing") was written there: the whole road of a player's start, the program's start-up, the
interpreter's, the game's first text read, cut, and sent to
speech-dispatcher, which hands it to its voice (a few milliseconds of
speech-dispatcher and of starting the voice's script, the same for both).
The program is then ended, and any interpreter left of it.

Runs alternate (Glulx, Z-code..., then ...Z-code, Glulx) so that a load that
comes and goes falls on both alike; one uncounted start of each comes first.

Command (from the source root, with the program, its interpreters and the
stories built in BUILD):
  python3 bench/glulx_first_words.py [--build BUILD] [--runs N]
BUILD is build/ by default, N is 9. Needs Xvfb, dbus-daemon and
speech-dispatcher.
"""
import argparse
import contextlib
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

BENCH_DIR = Path(__file__).resolve().parent
sys.path.insert(0, str(BENCH_DIR))
from file_watch import IN_MODIFY, FolderWatch  # noqa: E402
from startup import Desktop  # noqa: E402

SOURCE_DIR = BENCH_DIR.parent
PRIVATE_SPEECHD = SOURCE_DIR / "tests" / "tools" / "private-speechd"
DEADLINE = 120  # seconds for one start, however loaded the machine


def leftovers(folder):
    """Processes still running with a story from `folder` on their command line."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        with contextlib.suppress(OSError):
            stat = Path(f"/proc/{pid}/stat").read_text()
            cmd = Path(f"/proc/{pid}/cmdline").read_bytes().decode(errors="replace")
            if stat[stat.rindex(")") + 2] not in "ZX" and str(folder) in cmd:
                found.append(int(pid))
    return found


def first_words(program, story, words, desktop, base):
    """Seconds from the launch of `program` with `story` to `words` heard."""
    work = Path(tempfile.mkdtemp(prefix="run-", dir=base))
    speech = Path(tempfile.mkdtemp(prefix="speech-", dir=base))
    try:
        (work / "games").mkdir()
        shutil.copy(story, work / "games" / story.name)
        address = subprocess.run([str(PRIVATE_SPEECHD), "start", str(speech)], check=True,
                                 capture_output=True, text=True).stdout.split()[-1]
        env = dict(desktop.env, SPEECHD_ADDRESS=address)
        log = speech / "spoken.log"
        heard_at = None
        with FolderWatch(speech, IN_MODIFY) as watch, open(log, "rb") as spoken:
            start = time.monotonic()
            proc = subprocess.Popen([str(program), str(Path("games") / story.name)], cwd=work,
                                    env=env, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            ended = os.pidfd_open(proc.pid)
            try:
                said = b""
                while heard_at is None:
                    now, events, gone = watch.wait(start + DEADLINE - time.monotonic(), [ended])
                    if any(name == log.name for name, _ in events):
                        said += spoken.read()
                        lines = said.decode("utf-8", "replace").split("\n")[:-1]
                        if any(line.startswith(words) for line in lines):
                            heard_at = now
                            break
                    if gone or now >= start + DEADLINE:
                        raise SystemExit(f"{story.name}: never heard {words!r} "
                                         f"({'the program ended' if gone else 'timed out'}); "
                                         f"heard {said[-400:]!r}")
            finally:
                os.close(ended)
                proc.terminate()
                try:
                    proc.wait(timeout=30)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
                for pid in leftovers(work):
                    with contextlib.suppress(ProcessLookupError):
                        os.kill(pid, signal.SIGKILL)
        return heard_at - start
    finally:
        subprocess.run([str(PRIVATE_SPEECHD), "stop", str(speech)], check=False)
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(speech, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", type=Path, default=SOURCE_DIR / "build")
    parser.add_argument("--runs", type=int, default=9)
    args = parser.parse_args()
    build = args.build.resolve()
    program = build / "tallowick"
    first = "Rain follows you in from the dark."
    stories = {"Glulx": (build / "stories" / "lantern.gblorb", first),
               "Z-code": (build / "stories" / "lantern.z5", first),
               "TADS 3": (build / "stories" / "signalbox.t3", "The Signal Box"),
               "Hugo": (build / "stories" / "ferry.hex", "The Ferry Landing")}
    for path in (program, *(story for story, _ in stories.values())):
        if not path.exists():
            raise SystemExit(f"{path} is not built")
    base = Path(tempfile.mkdtemp(prefix="tallowick-first-words-"))
    results = {name: [] for name in stories}
    try:
        desktop = Desktop(base, False)
        try:
            load_before = os.getloadavg()
            for story, words in stories.values():
                first_words(program, story, words, desktop, base)
            names = list(stories)
            for i in range(args.runs):
                for name in names if i % 2 == 0 else names[::-1]:
                    seconds = first_words(program, *stories[name], desktop, base)
                    results[name].append(seconds * 1000)
                    print(f"run {i + 1} {name:6}: {seconds * 1000:6.0f} ms", flush=True)
            load_after = os.getloadavg()
        finally:
            desktop.close()
    finally:
        shutil.rmtree(base, ignore_errors=True)

    print(f"\nlaunch to the first words heard, {args.runs} runs of each; "
          f"load {load_before[0]:.1f} before, {load_after[0]:.1f} after")
    for name, (story, _) in stories.items():
        values = results[name]
        print(f"  {name:6} {story.name:15} min {min(values):6.0f}  "
              f"median {statistics.median(values):6.0f}  max {max(values):6.0f} ms")
    zcode = statistics.median(results["Z-code"])
    for name in ("Glulx", "TADS 3", "Hugo"):
        other = statistics.median(results[name])
        print(f"  {name} / Z-code: x{other / zcode:.2f} (medians), {other - zcode:+.0f} ms")


if __name__ == "__main__":
    main()
