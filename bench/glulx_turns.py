#!/usr/bin/python3
"""Time per turn of a loop-heavy Glulx story: our Glulx interpreters against
Debian's Gargoyle (gargoyle-free) playing the same file, side by side.

The story is The Counting House (stories/loops.inf) built with AUTORUN: at
start it does that many turns' sums (a sieve and a sort each), writes a
small data file, "clerks", through Glk, and quits. Gargoyle shows its text
only on screen, so every interpreter is timed alike from outside: from just
before the launch to the kernel's word (inotify) that the file was closed
after writing. The same story built with AUTORUN=0 gives the start-up alone;
each round times both, so a round's time per turn is
    (launch to file with T turns - launch to file with none) / T.
The interpreter's CPU time (user + system, from /proc when the file
appears) is reported the same way: it moves far less with the machine's
load than the wall clock.

The interpreters:
  our git           BUILD/git (Git 1.3.7 with our Glk library), which plays
                    Glulx in Tallowick, sent the GlkOte init event on stdin as
                    Tallowick sends it, its output thrown away;
  our glulxe        BUILD/glulxe (Glulxe 0.6.1 with our Glk library), alike;
  gargoyle          /usr/games/gargoyle-free STORY, which picks the
                    interpreter by its garglk.ini (Debian's: git);
  gargoyle glulxe   the same, told by the story's own .ini to use its glulxe.
Each of ours is compared with Gargoyle's of the same kind.
Each run has a fresh folder holding a copy of the story, which is the
working directory; the file lands there. Gargoyle runs under one Xvfb of the
bench's own, with a scratch HOME and a D-Bus and speech address that lead
nowhere (nothing is started on its behalf); it is ended once the file is
there. Which interpreter ran, and its version as the story read it from
Glk's gestalt, is printed from the file. Rounds alternate the order of the
interpreters so that a load that comes and goes falls on all alike; one
uncounted start of each comes first.

Command (from the source root, with a build configured with
-DTALLOWICK_BENCH=ON, which compiles stories/loops-autorun-0.ulx and
loops-autorun-20.ulx):
  python3 bench/glulx_turns.py [--build BUILD] [--runs N] [--turns T]
BUILD is build/ by default, N is 5, T is 20 (another T is compiled into the
scratch folder with inform6). Needs Xvfb and gargoyle-free.
"""
import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from file_watch import IN_CLOSE_WRITE, IN_MOVED_TO, FolderWatch  # noqa: E402

SOURCE_DIR = Path(__file__).resolve().parents[1]
GARGOYLE = "/usr/games/gargoyle-free"
# What Tallowick sends first (glk_greeting() in glk_protocol.cpp).
GREETING = (b'{"type":"init","gen":0,"metrics":{"width":80,"height":50,"charwidth":1,'
            b'"charheight":1,"gridcharwidth":1,"gridcharheight":1,"buffercharwidth":1,'
            b'"buffercharheight":1},"support":["timer","graphics"]}\n')
DEADLINE = 600  # seconds for one run, however loaded the machine
TICK = os.sysconf("SC_CLK_TCK")


def start_xvfb():
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp",
                             "-noreset", "-screen", "0", "1280x1024x24"],
                            pass_fds=[write_end], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        got = os.read(read_end, 16)
        if not got:
            raise SystemExit("Xvfb did not start")
        number += got
    os.close(read_end)
    return xvfb, f":{number.decode().strip()}"


def children(pid):
    found = []
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            stat = Path(f"/proc/{entry}/stat").read_text()
        except OSError:
            continue
        if int(stat[stat.rindex(")") + 2:].split()[1]) == pid:
            found.append(int(entry))
    return found


def cpu_seconds(pid):
    """User + system time of `pid` so far (a process not yet reaped keeps it)."""
    try:
        fields = Path(f"/proc/{pid}/stat").read_text()
    except OSError:
        return float("nan")
    fields = fields[fields.rindex(")") + 2:].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def program_of(pid):
    try:
        return os.readlink(f"/proc/{pid}/exe")
    except OSError:
        return "?"


class Interpreter:
    def __init__(self, name, scratch, env=None, ini=None):
        self.name = name
        self.scratch = scratch
        self.env = env
        self.ini = ini  # the story's own .ini for Gargoyle, or none

    def command(self, story):
        raise NotImplementedError

    def measured_pid(self, proc):
        return proc.pid

    def program(self, pid):
        return program_of(pid)

    def run(self, story):
        """Returns (seconds from launch to the file, CPU seconds then, what the
        file says, the program that ran)."""
        folder = Path(tempfile.mkdtemp(prefix="run-", dir=self.scratch))
        try:
            shutil.copy(story, folder / story.name)
            if self.ini:
                (folder / story.with_suffix(".ini").name).write_text(
                    f"[ {story.name} ]\n{self.ini}\n")
            with FolderWatch(folder, IN_CLOSE_WRITE | IN_MOVED_TO) as watch:
                start = time.monotonic()
                proc = subprocess.Popen(self.command(story.name), cwd=folder, env=self.env,
                                        stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, start_new_session=True)
                try:
                    self.started(proc)
                    ended = os.pidfd_open(proc.pid)
                    try:
                        while True:
                            now, events, gone = watch.wait(start + DEADLINE - time.monotonic(),
                                                           [ended])
                            if any(name.startswith("clerks") for name, _ in events):
                                break
                            if gone or now >= start + DEADLINE:
                                raise SystemExit(f"{self.name}: no file from {story.name} "
                                                 f"({'ended' if gone else 'timed out'})")
                    finally:
                        os.close(ended)
                    pid = self.measured_pid(proc)
                    cpu = cpu_seconds(pid)
                    program = self.program(pid)
                finally:
                    self.stop(proc)
            written = next(folder.glob("clerks*")).read_text().strip()
            return now - start, cpu, written, program
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    def started(self, proc):
        proc.stdin.close()

    def stop(self, proc):
        # The whole session: Gargoyle's interpreter is the launcher's child.
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait()


class Ours(Interpreter):
    def __init__(self, name, program, scratch):
        super().__init__(name, scratch)
        self.executable = program

    def command(self, story):
        return [str(self.executable), story]

    def program(self, pid):
        # It may have quit already: a process not yet reaped has no exe.
        return str(self.executable)

    def started(self, proc):
        proc.stdin.write(GREETING)
        proc.stdin.close()


class Gargoyle(Interpreter):
    def command(self, story):
        return [GARGOYLE, story]

    def measured_pid(self, proc):
        # The launcher starts the interpreter as its child and waits for it.
        found = children(proc.pid)
        return found[0] if found else proc.pid


def story_pair(build, turns, scratch):
    """The story with no turns and with `turns`: the build's, or compiled here."""
    stories = build / "stories"
    pair = []
    for n in (0, turns):
        path = stories / f"loops-autorun-{n}.ulx"
        if not path.exists():
            path = scratch / path.name
            include = f"+include_path={stories / 'glulx-include'},/usr/share/inform6/library"
            subprocess.run(["inform6", "-q", "-G", f"$#AUTORUN={n}", include,
                            str(SOURCE_DIR / "stories" / "loops.inf"), str(path)],
                           check=True, stdout=subprocess.DEVNULL)
        pair.append(path)
    return pair


def summary(values, unit, scale=1.0):
    values = [v * scale for v in values]
    return (f"min {min(values):8.1f}  median {statistics.median(values):8.1f}  "
            f"max {max(values):8.1f} {unit}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", type=Path, default=SOURCE_DIR / "build")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--turns", type=int, default=20)
    args = parser.parse_args()
    build = args.build.resolve()
    scratch = Path(tempfile.mkdtemp(prefix="tallowick-glulx-turns-"))
    xvfb = None
    try:
        xvfb, display = start_xvfb()
        home = scratch / "home"
        (home / "run").mkdir(parents=True, mode=0o700)
        env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY",)}
        env.update(DISPLAY=display, HOME=str(home), XDG_RUNTIME_DIR=str(home / "run"),
                   XDG_CONFIG_HOME=str(home / "config"), XDG_CACHE_HOME=str(home / "cache"),
                   XDG_DATA_HOME=str(home / "data"),
                   DBUS_SESSION_BUS_ADDRESS=f"unix:path={home}/no-bus",
                   SPEECHD_ADDRESS=f"unix_socket:{home}/no-speech.sock")
        interpreters = [Ours("our git", build / "git", scratch),
                        Ours("our glulxe", build / "glulxe", scratch),
                        Gargoyle("gargoyle", scratch, env),
                        Gargoyle("gargoyle glulxe", scratch, env, ini="terp glulxe")]
        start_story, turns_story = story_pair(build, args.turns, scratch)
        load_before = os.getloadavg()
        for i in interpreters:
            i.run(start_story)
        times = {(i.name, n): [] for i in interpreters for n in (0, args.turns)}
        cpus = {(i.name, n): [] for i in interpreters for n in (0, args.turns)}
        ran = {}
        for round_number in range(args.runs):
            order = interpreters if round_number % 2 == 0 else interpreters[::-1]
            for i in order:
                for n, story in ((0, start_story), (args.turns, turns_story)):
                    seconds, cpu, written, program = i.run(story)
                    times[i.name, n].append(seconds)
                    cpus[i.name, n].append(cpu)
                    if n:
                        ran[i.name] = f"{program}: {written}"
                    print(f"round {round_number + 1} {i.name:16} {n:3} turns: "
                          f"{seconds * 1000:8.0f} ms, CPU {cpu * 1000:6.0f} ms", flush=True)
        load_after = os.getloadavg()
    finally:
        if xvfb:
            os.killpg(xvfb.pid, signal.SIGTERM)
            xvfb.wait()
        shutil.rmtree(scratch, ignore_errors=True)

    print(f"\nThe Counting House, {args.turns} turns (a sieve below 100000 and a sort of 1200 "
          f"each) against none, {args.runs} rounds; load {load_before[0]:.1f} before, "
          f"{load_after[0]:.1f} after")
    per_turn = {}
    for i in interpreters:
        print(f"{i.name}: {ran[i.name]}")
        wall = [(t - s) / args.turns for t, s in zip(times[i.name, args.turns],
                                                       times[i.name, 0])]
        cpu = [(t - s) / args.turns for t, s in zip(cpus[i.name, args.turns], cpus[i.name, 0])]
        per_turn[i.name] = statistics.median(wall), statistics.median(cpu)
        print(f"  start-up        {summary(times[i.name, 0], 'ms', 1000)}")
        print(f"  per turn        {summary(wall, 'ms', 1000)}")
        print(f"  CPU per turn    {summary(cpu, 'ms', 1000)}")
    for ours, theirs in (("our git", "gargoyle"), ("our glulxe", "gargoyle glulxe")):
        a, b = per_turn[ours], per_turn[theirs]
        print(f"{ours} / {theirs}: x{a[0] / b[0]:.2f} per turn (medians), "
              f"x{a[1] / b[1]:.2f} CPU per turn")


if __name__ == "__main__":
    main()
