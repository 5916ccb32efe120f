"""Choosing a game from the catalogue when its story file is not yet in the
save folder: it is downloaded from a real web server on 127.0.0.1 while a
progress bar shows, then played; a failed download says so and leaves
nothing behind."""
import pyatspi

import harness
from harness import BUTTONS, GAME_CHOOSER, wait_for

TITLE = "Lantern Hall"
DESCRIPTION = "A night in an old house with one lamp."
AUTHOR = "R. Marsh"
FAILED = "An error cropped up and the download failed."


class Catalogue(harness.ProgramTest):
    def setUp(self):
        self.story = harness.STORY.read_bytes()
        self.server = harness.StoryServer(self.story)
        self.addCleanup(self.server.stop)
        self.speech = self.start_speech()
        self.home = self.temp_dir("tallowick-home-")
        (self.home / "Documents").mkdir()
        self.cwd = self.temp_dir("tallowick-cwd-")
        self.saves = self.cwd / "games"
        self.saves.mkdir()

    def choose(self, path):
        """Starts the program with a catalogue whose one game lies at `path`
        on the server, and chooses that game."""
        harness.write_catalogue(self.cwd, {TITLE: [DESCRIPTION, AUTHOR, self.server.url(path)]})
        program = self.start(self.cwd, self.home, self.speech)
        program.wait_first_screen()
        program.key("Tab")
        program.wait_focused(pyatspi.ROLE_PUSH_BUTTON, BUTTONS[1])
        program.key("space")
        _, rows = harness.chooser(program, GAME_CHOOSER)
        self.assertEqual(rows, [f"{TITLE} by {AUTHOR}: {DESCRIPTION}"])
        program.key("Return")
        return program

    def test_download_shows_progress_then_plays(self):
        program = self.choose("/lantern.z5")
        # The server holds the body back after its first piece, so the
        # download is still running while the progress bar is read.
        bar = program.wait_find(pyatspi.ROLE_PROGRESS_BAR, "Download Progress.")
        wait_for(lambda: bar.queryValue().currentValue > 0,
                 "the progress bar to show the first piece", detail=program.screen)
        program.wait_focused(pyatspi.ROLE_PROGRESS_BAR, "Download Progress.")
        self.assertEqual(self.server.requests, ["/lantern.z5"])
        self.server.release()

        game = harness.Game(program, self.speech)
        game.wait_input_focused()
        self.speech.wait_sequence(["Rain follows you in from the dark.\n", "Mr.\n",
                                   "Hobb the caretaker nods.\n"])
        game.wait_shown(["A fat green ledger lies open on a lectern."])
        self.assertIsNone(program.find(pyatspi.ROLE_PROGRESS_BAR, "Download Progress."))
        stored = self.saves / f"{TITLE}.z5"
        self.assertEqual(stored.read_bytes(), self.story)
        self.assertEqual(sorted(p.name for p in self.saves.iterdir()), [stored.name],
                         "the download left other files in the save folder")
        game.command("take key", shown=["Taken."])

    def test_failed_download_says_so_and_leaves_nothing(self):
        program = self.choose("/missing.z5")
        box = program.wait_find(pyatspi.ROLE_ALERT, "Uh oh!")
        self.assertEqual(box.description, FAILED)
        self.assertIn(FAILED, [o.name for o in harness.find_all(box, pyatspi.ROLE_LABEL)])
        self.assertEqual(self.server.requests, ["/missing.z5"])
        program.wait_focused(pyatspi.ROLE_PUSH_BUTTON, "OK")
        program.key("Return")
        # Back on the first screen, where the player was.
        wait_for(lambda: program.find(pyatspi.ROLE_ALERT, "Uh oh!") is None,
                 "the box to close", detail=program.screen)
        self.assertEqual([b.name for b in program.buttons()], list(BUTTONS))
        program.wait_focused(pyatspi.ROLE_PUSH_BUTTON, BUTTONS[1])
        self.assertIsNone(program.find(pyatspi.ROLE_PROGRESS_BAR, "Download Progress."))
        self.assertEqual(list(self.saves.iterdir()), [], "the failed download left a file")
        self.assertTrue(program.running())
        self.assertEqual(program.interpreters(), set())


if __name__ == "__main__":
    harness.main()
