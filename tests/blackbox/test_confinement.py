"""A story that takes its interpreter over (the hostile stand-in of
tests/tools/fake_interpreter.cpp) reaches nothing past its game."""
import os
import re
import select
import socket
import subprocess
import uuid
from pathlib import Path

from harness import FAKE_HEADER, PROGRAM, STORIES, ProgramTest, main, processes, wait_for

ALL = "Interpreters confined: files, sockets, processes, memory."
# And without Landlock; both also in a sanitizer build, with no memory cap.
WITHOUT_LANDLOCK = {
    ALL: "Interpreters confined: sockets, processes, memory; not confined: files.",
    "Interpreters confined: files, sockets, processes; not confined: memory.":
        "Interpreters confined: sockets, processes; not confined: files, memory."}


def version_line(**env):
    return subprocess.run([str(PROGRAM), "--version"], capture_output=True, text=True, check=True,
                          env=dict(os.environ, **env)).stdout.splitlines()[-1]


class Confinement(ProgramTest):
    def hostile_game(self, **env):
        home, outside, speech = self.temp_dir(), self.temp_dir(), self.speech()
        token = f"secret-{uuid.uuid4().hex}"  # the secret file's name and its words
        secret = home / f"{token}.txt"
        secret.write_text(f"The password is {token}.\n")
        listener = socket.create_server(("127.0.0.1", 0))
        victim = subprocess.Popen(["sleep", "600"])
        self.addCleanup(victim.kill)
        self.addCleanup(listener.close)
        words = b"\nIts own words: the lamp is lit.\n"
        program = self.fake_game("hostile", secret, outside, listener.getsockname()[1],
                                 speech.address.split(":", 1)[1], victim.pid, story=words,
                                 stories=("lantern",), home=home, speech=speech, env=env)
        wait_for(lambda: "The hostile stand-in has tried everything." in program.view(),
                 "the stand-in's attempts", program.screen)

        games = program.cwd / "games"
        kept = [program.view(), *speech.said()] + [f.read_text("latin-1") for f in games.iterdir()]
        self.assertFalse([text for text in kept if token in text or "Hostile" in text])
        self.assertEqual(list(home.iterdir()), [secret])
        self.assertEqual((games / "Fake.z5").read_bytes(), FAKE_HEADER + words)
        self.assertEqual((games / "lantern.z5").read_bytes(),
                         (STORIES / "lantern.z5").read_bytes())
        self.assertEqual(select.select([listener], [], [], 0)[0], [])  # no connection waits
        self.assertIsNone(victim.poll())
        # What it may do, it did; the game goes on, no program in its place.
        self.assertIn("Its own words: the lamp is lit.", program.view())
        self.assertEqual((games / "hostile.sav").read_text(), "hostile")
        program.command("look", "You said: look.")
        self.assertEqual(list(outside.iterdir()) + processes(outside), [])
        # Its 8 GiB never given (but in a sanitizer build).
        status = Path(f"/proc/{processes(program.cwd)[0]}/status").read_text()
        if version_line(**env) == ALL:
            self.assertLess(int(re.search(r"VmPeak:\s*(\d+)", status)[1]), 8 << 20)

        # A file past the cap on file size ends it, told as a crash (the rest: test_faults).
        program.command("grow")
        self.assertIn("stopped unexpectedly", program.answer_alert("Uh Oh."))
        self.assertLess((games / "grown.dat").stat().st_size, 1 << 30)

    def test_the_hostile_stand_in_reaches_nothing_past_its_game(self):
        self.hostile_game()

    def test_nor_with_no_more_than_debian_12_gives(self):
        self.hostile_game(TALLOWICK_LANDLOCK_ABI="2")

    def test_the_version_says_what_is_confined_and_without_landlock_the_game_plays(self):
        full = version_line()
        self.assertIn(full, WITHOUT_LANDLOCK)
        self.assertEqual(version_line(TALLOWICK_LANDLOCK_ABI="2"), full)
        self.assertEqual(version_line(TALLOWICK_LANDLOCK_ABI="0"), WITHOUT_LANDLOCK[full])
        no_user_namespaces = subprocess.run(  # inside one that allows no more
            ["unshare", "-Ur", "sh", "-c", 'echo 0 >/proc/sys/user/max_user_namespaces; exec "$0" '
             "--version", PROGRAM], capture_output=True, text=True).stdout.splitlines()[-1]
        self.assertEqual(no_user_namespaces, full.replace(
            "files", "files (but not the stories kept in the save folder)"))
        self.start_game(env={"TALLOWICK_LANDLOCK_ABI": "0"}).speech.wait("Rain follows you in")

    def test_killed_outright_tallowick_takes_its_interpreter_with_it(self):
        program = self.fake_game("sleep")  # one that never reads, so never sees its input end
        wait_for(lambda: processes(program.cwd), "the interpreter")
        program.process.kill()
        wait_for(lambda: not processes(program.cwd), "no interpreter left")


if __name__ == "__main__":
    main()
