"""Playing Lantern Hall from start to end with the real interpreter: what is
shown in "Output.", what is spoken, saving, restoring, quitting, winning and
leaving mid-game. See tests/data/lantern-walkthrough.md for the story's own
replies."""
import shutil
import unittest

import pyatspi

import harness
from harness import BUTTONS, GAME_CHOOSER, SAVE_CHOOSER, SAVE_NAME_PROMPT, wait_for

TITLE = "Lantern Hall"
DESCRIPTION = "A night in an old house with one lamp."
AUTHOR = "R. Marsh"

TAKE_KEY_SAID = ["Taken.\n", "Mr.\n", "Hobb gives you an approving nod.\n"]
SCORE_NOTICE = "[The score has just gone up by five points.]"
MAP_NOTICE = "[Your map has been updated. Well done.]"


class Play(harness.ProgramTest):
    def setUp(self):
        self.speech = self.start_speech()
        home = self.temp_dir("tallowick-home-")
        (home / "Documents").mkdir()
        self.cwd = self.temp_dir("tallowick-cwd-")
        self.saves = self.cwd / "games"
        self.saves.mkdir()
        shutil.copyfile(harness.STORY, self.saves / f"{TITLE}.z5")
        # The address is never fetched: the story is in the save folder.
        harness.write_catalogue(self.cwd, {
            TITLE: [DESCRIPTION, AUTHOR, "https://example.org/games/lantern.z5"]})
        self.program = self.start(self.cwd, home, self.speech)
        self.game = harness.Game(self.program, self.speech)
        self.start_game()

    def start_game(self):
        """From the first screen, through the catalogue, into the game."""
        program = self.program
        program.wait_first_screen()
        spoken = self.speech.mark()
        program.key("Tab")
        program.wait_focused(pyatspi.ROLE_PUSH_BUTTON, BUTTONS[1])
        program.key("Return")
        table, rows = harness.chooser(program, GAME_CHOOSER)
        self.assertEqual(rows, [f"{TITLE} by {AUTHOR}: {DESCRIPTION}"])
        self.assertEqual(harness.selected_rows(table), [0])
        program.key("Return")
        self.game.wait_input_focused()
        self.speech.wait_sequence(["Rain follows you in from the dark.\n", "Mr.\n",
                                   "Hobb the caretaker nods.\n"], since=spoken)
        self.game.wait_shown(["A fat green ledger lies open on a lectern."])
        self.assertIsNone(program.find(name="Download Progress."),
                          "a game in the save folder was downloaded again")
        self.assertEqual(len(program.interpreters()), 1)

    def test_opening_text_is_shown_and_spoken(self):
        shown = self.game.output()
        self.assertTrue(harness.in_order(shown, [
            "Rain follows you in from the dark.", "Mr.", "Hobb the caretaker nods.",
            "Lantern Hall", "An interactive sample by Brennholt",
            "Lantern Hall is long and draughty", "A small brass key hangs from a nail",
            "A fat green ledger lies open on a lectern."]), shown)
        self.assertNotIn(">", shown, "the prompt was shown")
        self.speech.wait_said("A fat green ledger lies open on a lectern.\n")
        self.assertNotIn(">\n", self.speech.utterances(), "the prompt was spoken")

    def test_replies_are_shown_and_spoken_with_mr_and_notices_whole(self):
        _, spoken = self.game.command(
            "take key",
            shown=["Taken.", "Mr.", "Hobb gives you an approving nod.", SCORE_NOTICE],
            said=TAKE_KEY_SAID)
        self.speech.wait_said(SCORE_NOTICE + "\n", since=spoken)
        _, spoken = self.game.command(
            "unlock door with key",
            shown=["The brass key turns with a solid clunk", MAP_NOTICE, SCORE_NOTICE],
            said=[MAP_NOTICE + "\n"])
        self.speech.wait_said(SCORE_NOTICE + "\n", since=spoken)
        # "Mr." is spoken alone, and nowhere glued to what follows.
        self.assertFalse([u for u in self.speech.utterances() if "Mr. " in u or "Mr.Hobb" in u])

    def test_ctrl_digits_repeat_earlier_turns(self):
        self.game.command("take key", said=TAKE_KEY_SAID)
        _, spoken = self.game.command("drop key", shown=["Dropped."])
        self.speech.wait_said("Dropped.\n", since=spoken)
        # The newest entry of the history is the turn that the last command
        # closed: the answer to "take key".
        mark = self.speech.mark()
        self.program.key("ctrl+0")
        self.speech.wait_heard(["Taken.", "Mr.", "Hobb gives you an approving nod.", SCORE_NOTICE],
                               since=mark)
        # The one before it: the opening text.
        mark = self.speech.mark()
        self.program.key("ctrl+1")
        self.speech.wait_heard(["Rain follows you in from the dark.",
                                "A fat green ledger lies open on a lectern."], since=mark)
        # Replaying types nothing and sends nothing.
        self.assertEqual(harness.text_of(self.game.wait_input_focused()), "")
        self.game.command("inventory", shown=["You're carrying nothing."])

    def save_as(self, name, how):
        """Saves the game under `name`, asked for with the command "save" or
        with Ctrl+S; returns the save file."""
        out, _ = self.game.marks()
        if how == "command":
            self.game.enter("save")
        else:
            self.program.key("ctrl+s")
        field = self.program.wait_focused(pyatspi.ROLE_TEXT, SAVE_NAME_PROMPT)
        self.program.type(name)
        wait_for(lambda: harness.text_of(field) == name, "the save name typed",
                 detail=self.program.screen)
        self.program.key("Return")
        save = self.saves / f"{name}.sav"
        wait_for(save.is_file, f"{save} to be written", detail=self.game.detail)
        self.game.wait_shown(["Ok."], since=out)
        return save

    def test_save_drop_restore_brings_the_key_back(self):
        self.game.command("take key", said=TAKE_KEY_SAID)
        save = self.save_as("castle", "command")
        self.assertGreater(save.stat().st_size, 0)
        self.game.command("drop key", shown=["Dropped."])
        self.game.command("inventory", shown=["You're carrying nothing."])
        out, _ = self.game.enter("restore")
        table, rows = harness.chooser(self.program, SAVE_CHOOSER)
        self.assertEqual(rows, ["castle.sav"])
        self.program.key("Return")
        self.game.wait_shown(["Ok."], since=out)
        self.game.command("inventory", shown=["You're carrying:", "a brass key"],
                          said=["You're carrying:\n"])

    def test_ctrl_s_saves_and_escape_leaves_the_restore_chooser(self):
        # With no save yet, Ctrl+R says so.
        self.program.key("ctrl+r")
        box = self.program.wait_find(pyatspi.ROLE_ALERT, "Uh oh!")
        self.assertEqual(box.description, "There are no save files.")
        self.program.wait_focused(pyatspi.ROLE_PUSH_BUTTON, "OK")
        self.program.key("Return")
        self.game.wait_input_focused()
        # A name prompt left with Escape saves nothing.
        self.program.key("ctrl+s")
        self.program.wait_focused(pyatspi.ROLE_TEXT, SAVE_NAME_PROMPT)
        self.program.key("Escape")
        self.game.wait_input_focused()
        self.assertEqual(list(self.saves.glob("*.sav")), [])
        self.save_as("quick", "ctrl+s")
        self.game.wait_input_focused()
        self.program.key("ctrl+r")
        _, rows = harness.chooser(self.program, SAVE_CHOOSER)
        self.assertEqual(rows, ["quick.sav"])
        self.program.key("Escape")
        self.game.wait_input_focused()
        # Nothing was sent: the next command is answered as usual.
        self.game.command("inventory", shown=["You're carrying nothing."])

    def test_long_reply_does_not_eat_the_next_command(self):
        out, spoken = self.game.command("read ledger",
                                        shown=["You turn to the first page and read.",
                                               "Entry 150: the end of the ledger."])
        self.speech.wait_said("Entry 150: the end of the ledger.\n", since=spoken)
        ledger = self.game.output()[out:]
        for n in range(1, 151):
            self.assertIn(f"Entry {n}:", ledger)
        self.game.command("inventory", shown=["You're carrying nothing."],
                          said=["You're carrying nothing.\n"])

    def test_questions_of_the_interpreter_are_shown_and_spoken_at_once(self):
        out, spoken = self.game.enter("restart")
        self.game.wait_shown(["Are you sure you want to restart?"], since=out)
        self.speech.wait_heard(["Are you sure you want to restart?"], since=spoken)
        self.game.command("no", shown=[], said=[])
        self.save_as("castle", "command")
        out, spoken = self.game.marks()
        self.program.key("ctrl+s")
        self.program.wait_focused(pyatspi.ROLE_TEXT, SAVE_NAME_PROMPT)
        self.program.type("castle")
        self.program.key("Return")
        self.game.wait_shown(["Overwrite existing file?"], since=out)
        self.speech.wait_heard(["Overwrite existing file?"], since=spoken)

    def confirm_quit(self):
        """Types "quit"; returns the confirmation box once it is read."""
        self.game.enter("quit")
        box = self.program.wait_find(pyatspi.ROLE_ALERT, "Confirmation.")
        self.assertEqual(box.description, "Are you sure you wish to quit?")
        self.assertIn("Are you sure you wish to quit?",
                      [o.name for o in harness.find_all(box, pyatspi.ROLE_LABEL)])
        self.program.wait_focused(pyatspi.ROLE_PUSH_BUTTON, "Yes")
        return box

    def test_quit_no_goes_on_and_yes_returns_to_the_first_screen(self):
        self.confirm_quit()
        self.program.key("Tab")
        self.program.wait_focused(pyatspi.ROLE_PUSH_BUTTON, "No")
        self.program.key("Return")
        self.game.wait_input_focused()
        self.assertIsNone(self.program.find(pyatspi.ROLE_ALERT, "Confirmation."))
        self.game.command("inventory", shown=["You're carrying nothing."])
        self.assertEqual(len(self.program.interpreters()), 1)

        self.confirm_quit()
        self.program.key("Return")
        self.program.wait_first_screen()
        wait_for(lambda: not self.program.interpreters_left(), "the interpreter to end")
        self.assertTrue(self.program.running())

    def test_winning_returns_to_the_first_screen(self):
        self.game.command("take key", said=TAKE_KEY_SAID)
        self.game.command("unlock door with key", said=[MAP_NOTICE + "\n"])
        _, spoken = self.game.enter("north")
        self.speech.wait_sequence(["*** You have won ***\n",
                                   "In that game you scored 10 out of a possible 10, "
                                   "in 3 turns.\n"], since=spoken)
        self.program.wait_first_screen()
        wait_for(lambda: not self.program.interpreters_left(), "the interpreter to end")
        # And a new game can begin.
        self.start_game()

    def test_closing_the_window_mid_game_leaves_no_interpreter(self):
        self.game.command("take key", said=TAKE_KEY_SAID)
        running = self.program.interpreters()
        self.assertEqual(len(running), 1)
        self.program.close()
        self.assertEqual(self.program.wait_exit(), 1)
        self.assertEqual(self.program.interpreters_left(), [],
                         "the interpreter outlived the program")


if __name__ == "__main__":
    harness.main()
