"""The faults a player must not pay for: a save folder that cannot be made,
a save on a full disk; and, made by a fake interpreter, a crash
mid-sentence, errors on its way out, an old version, a flood; a file no
interpreter plays, and no interpreter at all."""
import contextlib
import os
import shutil
from pathlib import Path

import pyatspi

from harness import FRAME, PROGRAM, STORIES, ProgramTest, interpreters, main, wait_for


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
        # Glulx has no way to tell the game: it says "Ok.", then Tallowick
        # tells the truth.
        for story, told in (("lantern.gblorb", ["Ok.", "The game could not be saved: the disk "
                                                "is full."]),
                            ("lantern.z5", ["Error writing save file: No space left on device",
                                            "Save failed."])):
            with self.subTest(story):
                # The save folder is a small disk of its own, mounted for
                # the program alone (unshare needs no root).
                cwd = self.temp_dir()
                (cwd / "games").mkdir()
                mount = 'mount -t tmpfs -o size=1m tmpfs games && exec "$0" "$@"'
                program = self.start(cwd, program=Path("/usr/bin/unshare"),
                                     args=["-Urm", "sh", "-c", mount, PROGRAM, STORIES / story])
                games = Path(f"/proc/{program.pid}/root{cwd}/games")

                def save():
                    program.wait_focus(pyatspi.ROLE_TEXT, "Input.")
                    program.key("ctrl+s")
                    program.wait_prompt()
                    mark = program.speech.mark()
                    program.type("castle")
                    program.key("Return")
                    return mark

                program.speech.wait("Lantern Hall is long and draughty")
                program.speech.wait("Ok.", since=save())
                first = (games / "castle.sav").read_bytes()
                filler = os.open(games / "filler", os.O_WRONLY | os.O_CREAT)
                with contextlib.suppress(OSError):
                    while os.write(filler, bytes(1 << 16)):
                        pass
                os.close(filler)
                mark = save()
                program.answer_alert("Confirmation.")
                program.speech.wait(*told, since=mark)
                self.assertEqual((games / "castle.sav").read_bytes(), first)
                self.assertEqual(sorted(p.name for p in games.iterdir()),
                                 ["castle.sav", "filler", "lantern transcript.txt"])
                program.close()
                program.wait_exit()

    def test_a_crash_mid_sentence_is_heard_told_and_the_first_screen_comes_back(self):
        program = self.fake_game("crash")
        program.speech.wait("The troll swings his ax")
        self.assertEqual(program.answer_alert("Uh Oh."),
                         "The game interpreter stopped unexpectedly, and the game with it.")
        program.wait_first_screen()

    def test_what_the_interpreter_leaves_on_stderr_is_shown(self):
        program = self.fake_game("stderr 100")
        self.assertTrue(program.answer_alert("Uh Oh.").startswith(
            "0000000 the quick brown fox\n0000001"))
        program.wait_first_screen()

    def test_an_interpreter_older_than_2_55_is_told_of(self):
        program = self.fake_game("version 2.54")
        program.speech.wait("This game interpreter, Frotz 2.54, is older than 2.55")
        program.command("look", "You said: look.")
        self.assertIn("older than 2.55", program.view())

    def test_closing_during_a_flood_ends_the_program_and_its_interpreter(self):
        program = self.fake_game("flood 50000000")
        wait_for(lambda: "quick brown fox" in program.view(), "the flood in the view")
        self.assertTrue(interpreters(program.cwd))
        program.close()
        self.assertEqual(program.wait_exit(), 1)
        wait_for(lambda: not interpreters(program.cwd), "no interpreter left")

    def test_a_file_no_interpreter_can_play_is_told(self):
        program = self.start_games((("lantern.gblorb", "Lantern Hall"),))
        # A Blorb whose index lists nothing.
        (program.cwd / "games" / "Lantern Hall.gblorb").write_bytes(
            b"FORM\0\0\0\x10IFRSRIdx\0\0\0\x04\0\0\0\0")
        self.choose(program, until_input=False)
        self.assertEqual(program.answer_alert("Uh oh!"), "Tallowick cannot play the file Lantern "
                         "Hall.gblorb: it is a Blorb file with pictures or sounds but no game in it.")
        self.assertIsNotNone(program.find(pyatspi.ROLE_PUSH_BUTTON, "Exit!"))

    def test_without_an_interpreter_the_player_is_told(self):
        alone = self.temp_dir()
        shutil.copy(PROGRAM, alone / "tallowick")
        program = self.start_games(program=alone / "tallowick", env={"PATH": "/usr/bin:/bin"})
        self.choose(program, until_input=False)
        self.assertEqual(program.answer_alert("Uh oh!"),
                         "The game interpreter dfrotz could not be found.")
        self.assertIsNotNone(program.find(pyatspi.ROLE_PUSH_BUTTON, "Exit!"))


if __name__ == "__main__":
    main()
