"""Lantern Hall's Glulx sounds, described in its Blorb, played into a private PulseAudio
server's null sink watched with pactl."""
import json
import os
import shutil
import subprocess
import tempfile
from pathlib import Path

from harness import ProgramTest, main, wait_for

BELL = "[Sound: A bronze bell tolls.]"
WALTZ = "[Sound: A music box plays a slow waltz, over and over.]"


class Pulse:
    """A PulseAudio server of the test's own: a null sink, its own socket, anyone let in."""

    def __init__(self):
        self.dir = Path(tempfile.mkdtemp(prefix="tallowick-pulse-"))
        self.address = f"unix:{self.dir / 'socket'}"
        self.process = subprocess.Popen(
            ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
             "-L", "module-null-sink",
             "-L", f"module-native-protocol-unix socket={self.dir / 'socket'} auth-anonymous=1"],
            env=dict(os.environ, **dict.fromkeys(["HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"],
                                                 str(self.dir))),
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: self.pactl("info"), "the private PulseAudio server")

    def pactl(self, *args):
        run = subprocess.run(["pactl", "-s", self.address, *args], capture_output=True, text=True)
        return run.stdout if run.returncode == 0 else None

    def streams(self):
        """Tallowick's streams to the sink that are not corked or silent."""
        inputs = json.loads(self.pactl("-f", "json", "list", "sink-inputs") or "[]")
        return [i for i in inputs if i["properties"].get("application.name") == "Tallowick"
                and not i["corked"] and not i["mute"]
                and any(v["value"] > 0 for v in i["volume"].values())]

    def stop(self):
        self.process.terminate()
        self.process.wait()
        shutil.rmtree(self.dir, ignore_errors=True)


class Sounds(ProgramTest):
    def test_sounds_are_played_described_silenced_and_stopped(self):
        pulse = Pulse()
        self.addCleanup(pulse.stop)
        program = self.start_game("lantern.gblorb", env={"PULSE_SERVER": pulse.address,
                                                          "SDL_AUDIODRIVER": "pulseaudio"})
        speech = program.speech
        speech.wait("Rain follows you in")
        self.assertEqual(pulse.streams(), [])
        program.command("south", "Front Porch")

        # Each ring is heard described, as it starts; the stream plays it.
        program.command("ring bell", BELL, "You ring the bronze bell.")
        wait_for(pulse.streams, "the game's sounds played", lambda: pulse.pactl("list"))
        program.command("ring bell", BELL, "You ring the bronze bell.")
        self.assertIn(BELL + "\n", program.view())
        mark = speech.mark()
        program.key("ctrl+0")  # the turn again, the bell's description in it
        wait_for(lambda: any(BELL in u for u in speech.said()[mark:]), "the turn replayed",
                 speech.tail)
        # The waltz plays over and over, described once.
        program.command("open music box", WALTZ, "You open the lid")

        # Off: what plays stops, and the stream with it; on again, the waltz is back.
        program.press("ctrl+m", "Sounds off.")
        wait_for(lambda: not pulse.streams(), "the sounds gone", lambda: pulse.pactl("list"))
        program.press("ctrl+m", "Sounds on.")
        wait_for(pulse.streams, "the waltz back", lambda: pulse.pactl("list"))

        mark = program.press("ctrl+d", "Descriptions off.")
        program.command("ring bell", "You ring the bronze bell.")
        self.assertNotIn(BELL + "\n", speech.said()[mark:])
        program.press("ctrl+d", "Descriptions on.")
        program.press("ctrl+Next", "Sounds softer.")
        program.press("ctrl+Prior", "Sounds louder.")
        program.press("ctrl+Prior", "Sounds at their loudest.")
        settings = json.loads((program.config / "tallowick" / "settings.json").read_text())
        self.assertEqual((settings["game_sounds"], settings["sound_descriptions"],
                          settings["sound_level"]), (True, True, 0))
        self.assertEqual(speech.said().count(BELL + "\n"), 2)
        self.assertEqual(speech.said().count(WALTZ + "\n"), 1)

        # Ctrl+H tells these keys with the others, before the game's help.
        mark = program.press("ctrl+h", "Control Q: quit", "Lantern Hall help")
        told = next(u for u in speech.said()[mark:] if u.startswith("Control Q: quit"))
        for key in ("Control M:", "Control Page Up, Control Page Down:", "Control D:"):
            self.assertIn(key, told)

        # Closing the window ends every sound.
        program.close()
        wait_for(lambda: not pulse.streams(), "the sounds gone", lambda: pulse.pactl("list"))


if __name__ == "__main__":
    main()
