"""Games of other formats, played by Gargoyle's interpreters through our Glk
library and heard as a blind player would: TADS 3 (The Signal Box, its
status banner made anew every turn) and Hugo (The Ferry Landing). The
opening, a key to begin, a few turns, the status line only with Ctrl+L, and
saving and restoring through our own dialogs."""
import re

from harness import ProgramTest, main


class Formats(ProgramTest):
    def test_tads_3(self):
        self.play("signalbox.t3", "The Signal Box", "Somebody has to set the signal",
                  "Platform\n", r"\d+/\d+", "Lamp Room\n", "lamp", "You are carrying a hand lamp.")

    def test_hugo(self):
        self.play("ferry.hex", "The Ferry Landing", "You have one very good reason",
                  "Ferry Landing\n", r"\d+ / \d+", "Ferryman's Hut\n", "coin",
                  "You are carrying a copper coin.")

    def play(self, story, title, opening, room, score, north, thing, carrying):
        program = self.choose(self.start_games(((story, title),)))
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
