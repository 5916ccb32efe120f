"""How soon the player hears the screen reader while Tallowick speaks, with
the real Orca and one speech-dispatcher whose voice takes real time (the
screen-reader-desk tool: 0.05 s a character), and how soon Tallowick falls
silent when its window is closed. Each run starts Lantern Hall from the
command line and measures:

- start-up: how long each of Orca's announcements of the new window waited
  for speech that is not Orca's own (from when Orca sent it to when it was
  heard, less the time the voice spent on Orca's earlier announcements, as
  Orca's own messages queue behind each other), and the first one's delay
  from being sent;
- Orca's own key during a long reply: `read ledger` is typed, and once the
  reply is being read, Insert+T (Orca's "say the time"); from the key to
  Orca's answer heard, and whether the reply then went on from the piece
  that was cut;
- closing: Alt+F4 during the reply; our utterances heard after the key,
  when speech-dispatcher received our cancel, and how long until a message
  another client sends once the program has gone is heard.

    python3 bench/screen_reader.py [--build build] [--runs 5] [--keep]
        [--desk /work/shared/tools/screen-reader-desk] [--patience 60]

Needs Debian's orca, openbox, x11-utils, xvfb, xdotool, speech-dispatcher.
Waits are bounded (--patience seconds, 60) so that a build whose speech
holds Orca back is measured too: what was not heard in time is reported as
more than the bound.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

root = Path(__file__).resolve().parents[1]
options = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
options.add_argument("--build", default=str(root / "build"))
options.add_argument("--runs", type=int, default=5)
options.add_argument("--desk", default="/work/shared/tools/screen-reader-desk")
options.add_argument("--patience", type=float, default=60.0)
options.add_argument("--keep", action="store_true", help="keep the desk's folder and logs")
args = options.parse_args()
build = Path(args.build).resolve()
desk_tool = Path(args.desk)
if not desk_tool.exists():
    sys.exit(f"screen_reader.py: no screen-reader-desk at {desk_tool} (see --desk)")

LINE = re.compile(r"^(\d\d):(\d\d):(\d\d)\.(\d\d\d)  (\S+)\s+(.*)$")


class Desk:
    """The desktop: Xvfb, openbox, Orca and the timed speech-dispatcher."""

    def __init__(self):
        self.dir = Path(tempfile.mkdtemp(prefix="tallowick-desk-"))
        out = subprocess.run([str(desk_tool), "start", str(self.dir)], capture_output=True,
                             text=True, timeout=120).stdout
        if "Orca speaks" not in out:
            sys.exit(f"screen_reader.py: Orca did not start: {out}")
        self.env = dict(os.environ)
        for line in (self.dir / "env.sh").read_text().splitlines():
            for word in line.removeprefix("export ").split():
                name, _, value = word.partition("=")
                self.env[name] = value

    def stop(self):
        subprocess.run([str(desk_tool), "stop", str(self.dir)], capture_output=True)
        if args.keep:
            print(f"the desk's logs: {self.dir} (screen-reader-desk timeline {self.dir})")
        else:
            shutil.rmtree(self.dir, ignore_errors=True)

    def wait_quiet(self):
        """Until the voice has nothing to say (Orca's greeting, a last
        run's leftovers)."""
        end = time.monotonic() + args.patience
        log = self.dir / "sd" / "spoken.log"
        while time.monotonic() < end:
            lines = log.read_text(errors="replace").splitlines()
            if lines and " END " in lines[-1]:
                return
            time.sleep(0.2)

    def note(self, text):
        subprocess.run([str(desk_tool), "note", str(self.dir), text], check=True)

    def timeline(self):
        """(seconds, who, what) for every line of the desk's timeline."""
        out = subprocess.run([str(desk_tool), "timeline", str(self.dir)], capture_output=True,
                             text=True).stdout
        events = []
        for line in out.splitlines():
            m = LINE.match(line)
            if m:
                h, mi, s, ms, who, what = m.groups()
                events.append((int(h) * 3600 + int(mi) * 60 + int(s) + int(ms) / 1000, who, what))
        return events

    def after(self, note):
        """The timeline from `note` on."""
        events = self.timeline()
        start = max(i for i, e in enumerate(events) if e[1] == "NOTE" and e[2] == note)
        return events[start:]

    def wait(self, note, found, patience=None):
        """Polls the timeline after `note` until `found(events)` gives
        something; None once the patience is out."""
        end = time.monotonic() + (patience or args.patience)
        while time.monotonic() < end:
            value = found(self.after(note))
            if value is not None:
                return value
            time.sleep(0.2)
        return None

    def keys(self, *keys):
        subprocess.run(["xdotool", "key", "--clearmodifiers", *keys], env=self.env, check=True)

    def type(self, text):
        subprocess.run(["xdotool", "type", "--delay", "30", text], env=self.env, check=True)


def heard(events, who, sent_at, text):
    """When the voice began `text`, which `who` sent at `sent_at`."""
    key = text.strip()[:8]
    for t, w, what in events:
        if t >= sent_at and w == "VOICE" and what.startswith("heard "):
            said = what[6:].strip()
            if said and (key.startswith(said[:8]) or said.startswith(key)):
                return t
    return None


def voice_intervals(events):
    """(start, end, text) of each utterance the voice began; one cut off
    ends where the next begins."""
    spans = []
    for t, who, what in events:
        if who != "VOICE":
            continue
        if spans and spans[-1][1] is None:
            spans[-1][1] = t
        if what.startswith("heard "):
            spans.append([t, None, what[6:].strip()])
    return [(a, b if b is not None else a, text) for a, b, text in spans]


def start_up(desk, note):
    """Per announcement of Orca's after the start: (how long it waited for
    speech that is not Orca's, from sent to heard); None while not all have
    been heard."""
    events = desk.after(note)
    sent = [(t, what[6:]) for t, who, what in events if who == "orca" and what.startswith("sent: ")]
    last = next((i for i, s in enumerate(sent) if s[1].startswith("Input.")), None)
    if last is None:
        return None
    orca_texts = [text for _, text in sent]
    orcas = [(a, b) for a, b, text in voice_intervals(events)
             if text and any(text in o for o in orca_texts)]
    waits = []
    for t, text in sent[:last + 1]:
        at = heard(events, "orca", t, text)
        if at is None:
            return None
        orca_time = sum(max(0.0, min(b, at) - max(a, t)) for a, b in orcas)
        waits.append((at - t - orca_time, at - t))
    return waits


def first_voice_of(events, who, since):
    """The first text `who` sent after `since`, and when it was heard."""
    for t, w, what in events:
        if t >= since and w == who and what.startswith("sent: "):
            return what[6:], heard(events, who, t, what[6:])
    return None, None


def run_once(desk, n, story_dir):
    figures = {}
    desk.wait_quiet()
    started = f"run {n}: start"
    desk.note(started)
    program = subprocess.Popen([str(build / "tallowick"), "games/lantern.z5"], cwd=story_dir,
                               env=desk.env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        waits = desk.wait(started, lambda _: start_up(desk, started))
        figures["startup"] = waits
        # The reply: typing stops what is said, as any key in our window.
        typed = f"run {n}: read ledger"
        desk.note(typed)
        desk.type("read ledger")
        desk.keys("Return")
        desk.wait(typed, lambda ev: True if any(
            who == "VOICE" and "Entry 2:" in what for _, who, what in ev) else None)
        key = f"run {n}: Insert+T"
        desk.note(key)
        desk.keys("Insert+t")

        def answer(events):
            pressed = events[0][0]
            text, at = first_voice_of(events, "orca", pressed)
            return None if at is None else (at - pressed, at)
        got = desk.wait(key, answer)
        figures["key"] = got and got[0]
        if got:
            # The piece the answer cut, and the first heard after it.
            def next_heard(events):
                return next((what for t, who, what in events if who == "VOICE" and t > got[1]
                             and what.startswith("heard ")), None)
            after = desk.wait(key, next_heard)
            cut = [what for t, who, what in desk.after(typed)
                   if who == "VOICE" and what.startswith("heard ") and t < got[1]]
            figures["resumed"] = bool(after and cut and after == cut[-1])
        # Closing during the reply.
        closing = f"run {n}: Alt+F4"
        desk.note(closing)
        desk.keys("alt+F4")
        try:
            program.wait(timeout=args.patience)
        except subprocess.TimeoutExpired:
            pass
        marker = f"Desk marker {n}."
        subprocess.run(["spd-say", "-P", "message", marker], env=desk.env, check=True)

        def marker_heard(events):
            return next((t for t, who, what in events if who == "VOICE" and marker in what), None)
        desk.wait(closing, marker_heard)
        events = desk.after(closing)
        pressed, at = events[0][0], marker_heard(events)
        ours = [t for t, who, what in events if who == "VOICE" and t > pressed
                and re.match(r"heard (Entry|You turn)", what)]
        cancel = next((t for t, who, what in events
                       if who == "tallowick" and what.upper() == "CANCEL SELF"), None)
        figures["close"] = (len(ours), None if at is None else at - pressed,
                            max(ours) - pressed if ours else 0.0,
                            None if cancel is None else cancel - pressed)
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()
        # Whatever a build left with the service goes before the next run.
        subprocess.run(["spd-say", "-C"], env=desk.env)
    return figures


def summary(name, values, unit="ms", scale=1000):
    if not values:
        print(f"  {name}: nothing measured")
        return
    shown = [v * scale for v in values]
    print(f"  {name}: median {statistics.median(shown):8.1f} {unit}  min {min(shown):8.1f}  "
          f"max {max(shown):8.1f}  ({len(values)} runs)")


def main():
    story_dir = Path(tempfile.mkdtemp(prefix="tallowick-story-"))
    (story_dir / "games").mkdir()
    shutil.copy(build / "stories" / "lantern.z5", story_dir / "games" / "lantern.z5")
    desk = Desk()
    results = []
    try:
        for n in range(1, args.runs + 1):
            figures = run_once(desk, n, story_dir)
            results.append(figures)
            print(f"run {n}: {figures}", flush=True)
    finally:
        desk.stop()
        shutil.rmtree(story_dir, ignore_errors=True)
    patience = f"(within {args.patience:.0f} s)"
    print(f"\nOrca with {build / 'tallowick'}, {args.runs} runs:")
    done = [r["startup"] for r in results if r.get("startup")]
    print(f"  start-up announcements heard in time: {len(done)} of {len(results)} {patience}")
    summary("start-up, the longest wait of an announcement for other speech than Orca's",
            [max(w for w, _ in s) for s in done])
    summary("start-up, first announcement, sent to heard", [s[0][1] for s in done])
    summary("start-up, last announcement (\"Input. text\"), sent to heard",
            [s[-1][1] for s in done])
    keys = [r["key"] for r in results if r.get("key")]
    print(f"  Insert+T answered in time: {len(keys)} of {len(results)} {patience}")
    summary("Insert+T during the reply, key to Orca's answer heard", keys)
    resumed = [r.get("resumed") for r in results if r.get("key")]
    print(f"  the reply went on from the cut piece after the answer: {sum(map(bool, resumed))} "
          f"of {len(resumed)}")
    closes = [r["close"] for r in results if r.get("close")]
    print(f"  after Alt+F4, utterances of ours begun: {[c[0] for c in closes]}, the last "
          f"{[round(c[2], 1) for c in closes]} s after the key")
    print(f"  another client's message after Alt+F4 heard in time: "
          f"{sum(c[1] is not None for c in closes)} of {len(results)} {patience}")
    summary("Alt+F4 to our cancel received by speech-dispatcher",
            [c[3] for c in closes if c[3] is not None])
    print(f"  ... received at all: {sum(c[3] is not None for c in closes)} of {len(closes)}")
    summary("Alt+F4 to another client's message heard", [c[1] for c in closes if c[1]])

if __name__ == "__main__":
    main()
