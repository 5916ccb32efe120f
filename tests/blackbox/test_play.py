"""Whole games heard as a blind player would: Lantern Hall in Z-code through our Frotz 2.55 and
in Glulx through Git and our Glk library; our stories in TADS 2, TADS 3 (its status banner made
anew every turn), Hugo, JACL, Alan 3, AdvSys and Scott Adams' format through Gargoyle's
interpreters and our Glk library; a status window of three rows."""
import re

import pyatspi

from harness import ProgramTest, main, text_of, wait_for

BEGIN = (None, "[Press any key to begin.]", "Press a key.")  # an opening that waits for a key


def key(name):
    """A step that presses `name` where the game waits for a key."""
    return ("key", name)

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

    # Each format's story of ours, played alike: the steps to a thing taken, its status line
    # (None: it has none), the thing dropped, saved and restored, then shown back; None
    # where the interpreter says nothing.
    def test_tads_2(self):
        self.play_format("canallock.gam", "The Canal Lock", BEGIN, (key("x"), "Towpath\n"),
                         ("north", "Lock Cottage\n"), ("take windlass", "Taken."),
                         status=r"^Lock Cottage \d+/\d+", drop=("drop windlass", "Dropped."),
                         back=("inventory", "You have a windlass."))

    def test_tads_3(self):
        # Its question is asked with a key; adv3's menu marks its current item.
        self.play_format("signalbox.t3", "The Signal Box", BEGIN, (key("x"), "Platform\n"),
                         ("help", ">How to play\n", "A hint\n"), (key("d"), ">A hint\n"),
                         (key("q"), "Done."),
                         ("east", "Signal Box\n"),
                         ("ring bell", "Ring the bell for the night train?", "Press a key."),
                         (key("y"), "Y\n", "Ding, ding."), ("west", "Platform\n"),
                         ("north", "Lamp Room\n"), ("take lamp", "Taken."),
                         status=r"^Lamp Room.*1/\d+", drop=("drop lamp", "Dropped."),
                         back=("inventory", "You are carrying a hand lamp."))

    def test_hugo(self):
        # Its menu is told, the current item marked, and driven by the keys it names.
        self.play_format("ferry.hex", "The Ferry Landing", BEGIN, (key("x"), "Ferry Landing\n"),
                         ("help", "How to play *", "A hint\n", "[N]ext item", "Press a key."),
                         (key("n"), "How to play\n", "A hint *"),
                         (key("Return"), "The ferryman wants his fare"),
                         (key("x"), "How to play\n"), (key("q"), "Done.", "Ferry Landing\n"),
                         ("ring bell", "Ring the bell for the ferryman? (Y/N)", "Press a key."),
                         (key("y"), "Y\n", "Clang, clang."), ("north", "Ferryman's Hut\n"),
                         ("take coin", "Taken."), status=r"^Ferryman's Hut.*1 / \d+",
                         drop=("drop coin", "Dropped."),
                         back=("inventory", "You are carrying a copper coin."))

    def test_jacl(self):
        self.play_format("wellhouse.j2", "The Well House", BEGIN, (key("x"), "Lane\n"),
                         ("north", "Well House\n"), ("take bucket", "Taken."),
                         status=r"^Well House.*Score: \d+ Moves: \d+",
                         drop=("drop bucket", "Dropped."),
                         back=("inventory", "You are carrying a wooden bucket."))

    def test_alan_3(self):
        # Alan says nothing on saving, and restoring tells the room again.
        self.play_format("orchard.a3c", "The Orchard Gate", (None, "Orchard Gate\n"),
                         ("take basket", "Taken."),
                         ("north", "Old Orchard\n"), status=r"^Old Orchard.*Score \d+",
                         drop=("drop basket", "Dropped."), saved=None, restored="Old Orchard\n",
                         back=("inventory", "You are carrying a wicker basket."))

    def test_advsys(self):
        self.play_format("apiary.dat", "The Apiary", (None, "Garden\n"), ("north", "Tool Shed\n"),
                         ("take smoker", "Taken."), status=None, drop=("drop smoker", "Dropped."),
                         back=("inventory", "You are carrying: a tin bee smoker."))

    def test_scott_adams(self):
        # No title: the room, drawn above, is heard first; restoring redraws it.
        self.play_format("lamplight.dat", "Lamplight Cave", (None, "Welcome to LAMPLIGHT"),
                         ("get lamp", "O.K."), status=None,
                         first="I'm in a small stone hut", drop=("drop lamp", "O.K."),
                         restored="I can also see: Sign on the wall -\n",
                         back=("inventory", "I'm carrying:", "Brass lamp (lit)"))

    def test_adrift(self):
        self.play_format("millrace.taf", "The Mill Race", (None, "Mill Yard\n"),
                         ("north", "Wheel House\n"),
                         ("take grease pot", "You pick up the grease pot."),
                         status=r"^Wheel House.*Score: \d+", saved="Ok.",
                         restore_asks="Do you really want to restore?", restored="Ok.",
                         drop=("drop pot", "You drop the grease pot."),
                         back=("inventory", "You are carrying a grease pot."))

    def play_format(self, story, title, *steps, status, drop, back, first=None, saved="Saved.",
                    restored="Restored.", restore_asks=None):
        program = self.start_game(story, title)
        speech = program.speech
        for action, *said in steps:
            if action is None:
                speech.wait(*said)
            elif isinstance(action, tuple):
                program.press(action[1], *said)
                # Shown, and so taken in with the key wait that came with it.
                wait_for(lambda: said[-1].strip() in program.view(), "the key's answer shown")
            else:
                program.command(action, *said)
        # The status line only when asked, without a move.
        mark = program.press("ctrl+l", *([] if status else ["There is no status line."]))
        if status:
            wait_for(lambda: any(re.search(status, u, re.S) for u in speech.said()[mark:]),
                     "the status line", speech.tail)

        # Saving and restoring through our dialogs, whatever the format.
        program.save("landing", *filter(None, [saved]))
        wait_for((program.cwd / "games" / "landing.sav").is_file, "the save")
        program.command(*drop)
        if restore_asks:
            # The interpreter's own question first, answered with a key.
            program.restore(restore_asks)
            program.press("y", restored)
        else:
            program.restore(restored)
        program.command(*back)

        # No interpreter's banner first; the status line said only once.
        said = speech.said()
        self.assertTrue(said[0].startswith(first or title), said[0])
        if status:
            self.assertEqual(len([u for u in said if re.search(status, u, re.S)]), 1)
        program.quit_game()

if __name__ == "__main__":
    main()
