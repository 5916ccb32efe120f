"""A Glulx game played as a Z-code game is: Lantern Hall built for Glulx
(lantern.gblorb, with a picture and its description), through our glulxe
and its Glk library. Its title and room names, its status window kept for
Ctrl+L, a quotation and a menu drawn in windows of their own, a timer that
ticks while the player types, Unicode, the picture's description, saving,
restoring, undoing and quitting."""
import pyatspi

from harness import SAVES_TITLE, ProgramTest, main, text_of

GAME = (("lantern.gblorb", "Lantern Hall"),)


class Glulx(ProgramTest):
    def test_a_glulx_game_is_heard_and_played_like_any_other(self):
        program = self.choose(self.start_games(GAME))
        speech = program.speech
        speech.wait("Rain follows you in", "Lantern Hall\n", "An interactive sample",
                    "Release 1 / Serial number 250601", "Lantern Hall\n",
                    "Lantern Hall is long and draughty", "A small painting in a wooden frame")
        program.press("ctrl+l", "Lantern Hall Score: 0 Moves: 0")
        # A quotation in a window of its own, heard before the game's text.
        self.quote_box_and_menu(program)

        # The picture by its description; Unicode out and in.
        program.command("x painting", "[Picture: A small painting in a plain wooden frame")
        program.command("x caf\u00e9", "A chipped cup of strong caf\u00e9",
                        "Painted round its rim, in a na\u00efve hand: \u201cA souvenir of the "
                        "Ch\u00e2teau \u03a9mega\u201d")

        # The timer ticks while the player types; what they typed stays.
        program.command("light lantern", "You light the tin lantern.")
        field = program.find(pyatspi.ROLE_TEXT, "Input.")
        program.type("inv")
        mark = speech.mark()
        speech.wait("The tin lantern's flame gutters and steadies.", since=mark)
        self.assertEqual(text_of(field), "inv")
        program.key("Return")
        speech.wait("You're carrying nothing.", since=mark)
        program.command("put out lantern", "You put out the tin lantern.")

        # Saved under the player's name, restored from our list, undone.
        speech.wait("Ok.", since=program.save("hall"))
        self.assertTrue((program.cwd / "games" / "hall.sav").is_file())
        program.command("take key", "Taken.")
        program.key("ctrl+r")
        program.wait_chooser(SAVES_TITLE)
        program.press("Return", "Ok.")
        program.command("inventory", "You're carrying nothing.")
        program.command("take key", "Taken.")
        program.press("ctrl+z", "[Previous turn undone.]")

        # Quit, the game's own question answered and unheard.
        mark = speech.mark()
        program.quit_game()
        self.assertNotIn("Are you sure", "".join(speech.said()[mark:]))
        # The status line only when asked.
        self.assertEqual(len([u for u in speech.said() if "Moves:" in u]), 1)

    def test_a_file_neither_interpreter_can_play_is_told(self):
        program = self.start_games(GAME)
        (program.cwd / "games" / "Lantern Hall.gblorb").write_bytes(b"FORM\0\0\0\4IFRS")
        self.choose(program, until_input=False)
        self.assertEqual(program.answer_alert("Uh oh!"), "The file Lantern Hall.gblorb holds no "
                         "game: it is a Blorb file with pictures or sounds but no story in it.")
        self.assertIsNotNone(program.find(pyatspi.ROLE_PUSH_BUTTON, "Exit!"))


if __name__ == "__main__":
    main()
