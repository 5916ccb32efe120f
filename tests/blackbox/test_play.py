"""Whole games heard as a blind player would: Lantern Hall in Z-code through our Frotz 2.55 and
in Glulx through Git and our Glk library; TADS 3 (its status banner made anew every turn) and
Hugo through Gargoyle's interpreters and our Glk library; a status window of three rows."""
import re

import pyatspi

from harness import ProgramTest, main, text_of

# What the interpreter says of itself, and our notice of an old one.
CHATTER = re.compile(r"Line numbering|Line-type|Reverse-video|Compression mode|Using normal"
                     r"|Loading |older than")


class Play(ProgramTest):
    def test_a_whole_game_is_heard_in_z_code(self):
        self.play_lantern_hall("lantern")

    def test_a_whole_game_is_heard_in_glulx(self):
        self.play_lantern_hall("lantern.gblorb")

    def play_lantern_hall(self, story):
        program = self.start_game(story)
        speech = program.speech
        # The opening: bold banner and room name, versions, a wrapped paragraph, each whole.
        speech.wait("Rain follows you in", "Lantern Hall\n", "An interactive sample",
                    "Release 1 / Serial number 250601 / Inform v6.41 Library v6.12.6",
                    "Lantern Hall\n", "Lantern Hall is long and draughty, with a hundred brass "
                    "lanterns hanging from the rafters, every one of them cold.\n")

        # The status line only when asked, at once, without a move.
        program.press("ctrl+l", "Lantern Hall Score: 0 Moves: 0")
        self.assertNotIn("Moves", program.view())

        # A quotation waits for a key; the next key answers it alone.
        program.command("east", "Every lamp that ever was lit", "was lit by one before it.",
                        "-- a saying of lamplighters", "[Press any key to go on.]", "Press a key.")
        program.press("x", "Record Room\n")
        program.command("west", "Lantern Hall\n")
        # A menu in the status window: each line heard, then only what the arrows change.
        program.command("help", "Lantern Hall help", "Choose a subject:", "> How to play\n",
                        "A hint\n", "Press a key.")
        mark = program.press("Down", "> A hint\n")
        self.assertNotIn("Lantern Hall help", "".join(speech.said()[mark:]))
        program.key("q")
        speech.wait("Lantern Hall\n", since=mark)
        program.press("ctrl+l", "Lantern Hall Score: 0 Moves: 3")

        if story.endswith(".gblorb"):
            # The picture by its description; Unicode out and in.
            program.command("x painting", "[Picture: A small painting in a plain wooden frame")
            self.keyboard("fr")  # where "é" is a key of its own
            program.command("x caf\u00e9", "A chipped cup of strong caf\u00e9",
                            "Painted round its rim, in a na\u00efve hand: \u201cA souvenir of "
                            "the Ch\u00e2teau \u03a9mega\u201d")
            self.keyboard("us")
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

        # Saving as the player names it, over it once they say so (the questions: game_test);
        # restoring the later game.
        saves = program.cwd / "games"
        program.save("castle", "Ok.")
        self.assertEqual(sorted(p.name for p in saves.glob("castle*")), ["castle.sav"])
        first = (saves / "castle.sav").read_bytes()
        program.command("take key", "Taken.")
        program.save("castle", "Ok.", replace="Return")
        self.assertNotEqual((saves / "castle.sav").read_bytes(), first)
        program.command("drop key", "Dropped.")
        program.restore("Ok.")
        program.command("inventory", "You're carrying:", "a brass key")
        program.command("drop key", "Dropped.")
        program.press("ctrl+z", "[Previous turn undone.]")

        # A reply far longer than the screen, and the command after it.
        program.command("read ledger", "Entry 150: the end of the ledger.")
        program.command("look", "Lantern Hall\n")

        # The win, with the key the undo gave back, ends the game with its bold closing line.
        program.command("unlock door with key", "The brass key turns")
        program.command("north", "Lamp Vault", "*** You have won ***")
        program.wait_first_screen()

        # Nothing the interpreter says of itself, no lone punctuation, the status line twice.
        said = speech.said()
        self.assertEqual([u for u in said if CHATTER.search(u)], [])
        self.assertEqual([u for u in said if not re.search(r"\w", u)], [])
        self.assertEqual(len([u for u in said if "Moves:" in u]), 2)

    def test_status_windows_are_kept_and_a_confirmed_quit_ends_the_game(self):
        program = self.start_game("plaza", "La Plaza")
        speech = program.speech
        # Three status rows, drawn before a key wait and every turn: heard only with Ctrl+L.
        speech.wait("Pulsa una tecla para empezar.", "Press a key.")
        program.key("x")
        speech.wait("Una plaza tranquila.")
        program.command("look", "Una plaza tranquila.")
        self.assertNotIn("occurrence", "".join(speech.said()))
        program.press("ctrl+l", "La Plaza Gran Exterior Lugares vistos: 1/55")
        self.assertEqual(len([u for u in speech.said() if "Exterior" in u]), 1)
        # The game's own question after ours, answered for the player: filed, never heard.
        mark = speech.mark()
        program.quit_game()
        self.assertNotIn("\u00bfEst\u00e1s seguro", "".join(speech.said()[mark:]))
        self.assertIn("\u00bfEst\u00e1s seguro", (program.cwd / "games" / "La Plaza transcript.txt")
                      .read_text(encoding="utf-8"))
        # The game ended, not the program: "Exit!" ends that, with status 1.
        program.key("Tab", "Tab", "Return")
        self.assertEqual(program.wait_exit(), 1)

    def test_tads_3(self):
        self.play_format("signalbox.t3", "The Signal Box", "Somebody has to set the signal",
                         "Platform\n", r"\d+/\d+", "Lamp Room\n", "lamp",
                         "You are carrying a hand lamp.")

    def test_hugo(self):
        self.play_format("ferry.hex", "The Ferry Landing", "You have one very good reason",
                         "Ferry Landing\n", r"\d+ / \d+", "Ferryman's Hut\n", "coin",
                         "You are carrying a copper coin.")

    def play_format(self, story, title, opening, room, score, north, thing, carrying):
        program = self.start_game(story, title)
        speech = program.speech
        # The opening, with no interpreter's banner before it, then a key.
        speech.wait(title, "A short test story by Brennholt", opening, "[Press any key to begin.]",
                    "Press a key.")
        program.press("x", room)
        program.command("north", north)
        # The status line only when asked, without a move.
        program.press("ctrl+l", north.strip())
        self.assertRegex(speech.said()[-1], score)
        program.command(f"take {thing}", "Taken.")

        # Saving and restoring through our dialogs, whatever the format.
        program.save("landing", "Saved.")
        self.assertTrue((program.cwd / "games" / "landing.sav").is_file())
        program.command(f"drop {thing}", "Dropped.")
        program.restore("Restored.")
        program.command("inventory", carrying)

        said = speech.said()
        self.assertEqual(said[0], title + "\n")
        self.assertEqual(len([u for u in said if re.search(score, u)]), 1)
        program.quit_game()


if __name__ == "__main__":
    main()
