"""The faults a player must not pay for, most made by a fake interpreter."""
import contextlib
import shutil
from pathlib import Path

import pyatspi

from harness import FRAME, PROGRAM, STORIES, ProgramTest, main, processes, wait_for


class Faults(ProgramTest):
    def test_a_save_folder_that_cannot_be_made_is_told_and_ends_with_2(self):
        home = self.temp_dir()  # without Documents, and no games/ here
        program = self.start(self.temp_dir(), home=home)
        program.wait_find(pyatspi.ROLE_ALERT, "Oops.")
        self.assertIsNone(program.find(pyatspi.ROLE_FRAME, FRAME))
        self.assertEqual(program.answer_alert("Oops."), "The program was unable to create its "
                         "save directory and can not run. Please try again, or consider using "
                         "the portable copy.")
        self.assertEqual(program.wait_exit(), 2)
        self.assertEqual(list(home.iterdir()), [])

    def test_a_save_on_a_full_disk_keeps_the_last_one_and_is_told(self):
        # Glulx has no way to tell the game: it says "Ok.", then Tallowick tells the truth.
        for story, told in (("lantern.gblorb", ["Ok.", "The game could not be saved: the disk "
                                                "is full."]),
                            ("lantern.z5", ["Error writing save file: No space left on device",
                                            "Save failed."])):
            with self.subTest(story):
                # The save folder a small disk for the program alone (unshare needs no root).
                cwd = self.temp_dir()
                (cwd / "games").mkdir()
                mount = 'mount -t tmpfs -o size=1m tmpfs games && exec "$0" "$@"'
                program = self.start(cwd, program=Path("/usr/bin/unshare"),
                                     args=["-Urm", "sh", "-c", mount, PROGRAM, STORIES / story])
                games = Path(f"/proc/{program.pid}/root{cwd}/games")
                program.speech.wait("Lantern Hall is long and draughty")
                program.save("castle", "Ok.")
                first = (games / "castle.sav").read_bytes()
                with open(games / "filler", "wb", buffering=0) as f, contextlib.suppress(OSError):
                    while f.write(bytes(1 << 16)):
                        pass
                program.save("castle", *told, replace="Return")
                self.assertEqual((games / "castle.sav").read_bytes(), first)
                self.assertEqual(sorted(p.name for p in games.iterdir()),
                                 ["castle.sav", "filler", "lantern transcript.txt"])
                program.close()

    def test_a_crash_mid_sentence_is_heard_told_and_the_first_screen_comes_back(self):
        program = self.fake_game("crash")
        program.speech.wait("The troll swings his ax")
        self.assertEqual(program.answer_alert("Uh Oh."),
                         "The game interpreter stopped unexpectedly, and the game with it.")
        program.wait_first_screen()

    def test_what_the_interpreter_leaves_on_stderr_is_shown(self):
        program = self.fake_game("stderr", 100)
        self.assertTrue(program.answer_alert("Uh Oh.").startswith(
            "0000000 the quick brown fox\n0000001"))
        program.wait_first_screen()

    def test_an_interpreter_older_than_2_55_is_told_of(self):
        program = self.fake_game("version", "2.54")
        program.speech.wait("This game interpreter, Frotz 2.54, is older than 2.55")
        program.command("look", "You said: look.")
        self.assertIn("older than 2.55", program.view())

    def test_closing_during_a_flood_ends_the_program_and_its_interpreter(self):
        program = self.fake_game("flood", 50000000)
        wait_for(lambda: "quick brown fox" in program.view(), "the flood in the view")
        self.assertTrue(processes(program.cwd))
        self.assertEqual(program.close(), 1)
        wait_for(lambda: not processes(program.cwd), "no interpreter left")

    def test_a_file_no_interpreter_can_play_is_told(self):
        cwd = self.catalogued("lantern.gblorb")
        blorb = b"FORM\0\0\0\x10IFRSRIdx\0\0\0\x04\0\0\0\0"  # whose index lists nothing
        (cwd / "games" / "Lantern Hall.gblorb").write_bytes(blorb)
        program = self.choose(self.start(cwd), until_input=False)
        # The words for each such file: formats_test.
        self.assertIn("Lantern Hall.gblorb: it is a Blorb file", program.answer_alert("Uh oh!"))
        self.assertIsNotNone(program.find(pyatspi.ROLE_PUSH_BUTTON, "Exit!"))

    def test_without_an_interpreter_the_player_is_told(self):
        alone = self.temp_dir()
        shutil.copy(PROGRAM, alone / "tallowick")
        program = self.start_game(until_input=False, program=alone / "tallowick",
                                  env={"PATH": "/usr/bin:/bin"})
        self.assertEqual(program.answer_alert("Uh oh!"),
                         "The game interpreter dfrotz could not be found.")
        self.assertIsNotNone(program.find(pyatspi.ROLE_PUSH_BUTTON, "Exit!"))


if __name__ == "__main__":
    main()
