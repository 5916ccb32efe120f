"""The player's own controls: history, stopping speech, chords, text size, the command line."""
import json
import subprocess

import pyatspi

from harness import PROGRAM, ProgramTest, main, text_of, wait_for


class Controls(ProgramTest):
    def test_history_speech_keys_size_and_transcript(self):
        program = self.start_game()
        speech = program.speech
        speech.wait("Rain follows you in")
        field = program.find(pyatspi.ROLE_TEXT, "Input.")
        program.command("look", "Lantern Hall\n")
        program.command("inventory", "You're carrying nothing.")

        # Up walks back through every command, Down forward to the draft.
        program.type("ta")
        for key, expected in (("Up", "inventory"), ("Up", "look"), ("Up", "look"),
                              ("Down", "inventory"), ("Down", "ta"), ("Down", "ta")):
            program.key(key)
            wait_for(lambda: text_of(field) == expected, f"{expected!r} after {key}")
        speech.wait("No earlier command.", "No later command.")
        program.key("ctrl+a", "BackSpace")

        # Every reply filed, commands as typed (the layout: the Transcript unit test).
        program.command("read ledger", "Entry 150: the end of the ledger.")
        program.command("look", "Lantern Hall\n")
        transcript = (program.cwd / "games" / "Lantern Hall transcript.txt").read_text()
        self.assertIn("Entry 150: the end of the ledger.", transcript)
        self.assertIn("\n>look\nLantern Hall\n", transcript)

        # Chords act in the output view too, typing nothing; the text size is remembered.
        program.key("Tab")
        program.wait_focus(pyatspi.ROLE_TEXT, "Output.")
        program.press("ctrl+l", "Lantern Hall Score: 0 Moves: 4")
        program.key("ctrl+equal")
        settings = program.config / "tallowick" / "settings.json"
        wait_for(lambda: "text_size" in json.loads(settings.read_text()), "the text size saved")
        self.assertEqual(text_of(field), "")

    def test_typing_in_the_output_view_reaches_the_field_as_the_keyboard_made_it(self):
        # A German keyboard: AltGr+Q is "@", and a dead acute then E is "é".
        self.keyboard("de")
        program = self.start_game()
        program.speech.wait("A fat green ledger")
        field = program.find(pyatspi.ROLE_TEXT, "Input.")
        for keys, expected in ((("ISO_Level3_Shift+q",), "@"), (("dead_acute", "e"), "@\u00e9"),
                               (("shift+w",), "@\u00e9W")):
            program.key("Tab")
            program.wait_focus(pyatspi.ROLE_TEXT, "Output.")
            program.key(*keys)
            program.wait_focus(pyatspi.ROLE_TEXT, "Input.")
            wait_for(lambda: text_of(field) == expected, f"{expected!r} in the field")

    def test_a_silenced_reply_is_silent_to_its_end_and_the_next_is_heard(self):
        # A key stops a reply's first part (what waits is dropped: speech_test); the second,
        # after, is shown and never said.
        gate = self.temp_dir() / "gate"
        program = self.fake_game("pause", gate)
        speech = program.speech
        speech.hold()
        program.command("read", "The first part of the reply.")
        speech.wait_held()
        program.key("ctrl")
        speech.wait_held(False)
        speech.release()
        gate.touch()
        wait_for(lambda: "The second part of the reply." in program.view(), "the second part")
        program.command("look", "You said: look.")
        self.assertNotIn("The second part of the reply.\n", program.speech.said())

    def test_the_command_line_a_missing_story_and_the_options(self):
        # One that is there starts at once: test_speech.
        home = self.temp_dir()
        (home / "Documents").mkdir()
        missing = self.start(self.portable(), home=home, args=["games/missing.z5"])
        self.assertEqual(missing.answer_alert("Uh oh!"),
                         "The story file games/missing.z5 could not be opened.")
        missing.wait_first_screen()
        # A portable copy's save folder is its games/, nothing in Documents.
        self.assertEqual(list((home / "Documents").iterdir()), [])
        for args, status, said in ((["--version"], 0, "tallowick 0.1\n"),
                                   (["--help"], 0, "Usage: tallowick [STORY]"),
                                   (["--loud"], 2, "tallowick: unknown option --loud")):
            run = subprocess.run([str(PROGRAM), *args], capture_output=True, text=True,
                                 env={"PATH": "/usr/bin"})
            self.assertEqual(run.returncode, status)
            self.assertTrue((run.stdout + run.stderr).startswith(said), run.stdout + run.stderr)


if __name__ == "__main__":
    main()
