"""Glulx stories of ours played by the keyboard alone: The Saltmarsh Pavilion, a room for each
thing a listening player must manage (saving and restoring in Glulx: test_play), and The
Crossroads, played by its links."""
from harness import ProgramTest, main

NO_DEVICE = "No sound device: the game's sounds are not heard."


class Accessibility(ProgramTest):
    def test_each_room_of_the_pavilion_is_heard(self):
        # No audio driver SDL knows: no sound device, whatever the machine has.
        program = self.start(self.portable(stories=["pavilion.gblorb"]),
                             args=["games/pavilion.gblorb"],
                             env={"SDL_AUDIODRIVER": "no-such-driver"})
        speech = program.speech
        speech.wait("The last tram has gone", "Pavilion Foyer\n")

        # Every language whole, the bold and italic words among them.
        program.command("read notice", "NOTICE\n",
                        "English: Please do not feed the gulls on the terrace.\n",
                        "Fran\u00e7ais : Pri\u00e8re de ne pas nourrir les mouettes",
                        "Deutsch: Bitte die M\u00f6wen auf der Terrasse nicht f\u00fcttern.\n",
                        "With thanks from the management \U0001F426",
                        "[The score has just gone up by one point.]")
        quiet = program.command("notify off", "Score notification off.")

        # Both of the book's pauses told, with its passage between.
        program.command("north", "Reading Room\n")
        program.command("read book", "You find the page marked", "[Press any key to read.]",
                        "Press a key.")
        program.press("space", '"Twice each day', "[Press any key to close the book.]",
                      "Press a key.")
        program.press("space", "You close the green book.")
        program.press("ctrl+l", "Reading Room Score: 2 ")

        # The projector's menu: its lines, then only the marker as it moves.
        program.command("south", "Pavilion Foyer\n")
        program.command("east", "Projection Room\n")
        program.command("switch projector on", "Slides of Saltmarsh", "Choose a slide:",
                        "> The pier at dawn\n", "The bandstand\n", "Press a key.")
        program.press("Down", "> The bandstand\n")
        program.press("Return", "The screen shows the bandstand", "Press a key.")
        program.press("space", "> The bandstand\n")
        program.press("Escape", "Projection Room\n")

        # The dance floor: the square heard at each step, and at its edge.
        program.command("west", "Pavilion Foyer\n")
        program.command("west", "Ballroom\n", "A sprung dance floor",
                        "You are at row 3, column 2.")
        program.command("north", "You dance a step north.", "You are at row 2, column 2.")
        program.command("east", "You dance a step east.", "You are at row 2, column 3.")
        program.command("east", "The floor ends there.", "You are at row 2, column 3.")
        program.command("north", "You dance a step north.", "You are at row 1, column 3.",
                        "You stand on the brass star.")
        program.command("out", "Pavilion Foyer\n")

        # The picture and the sound by their descriptions; no device, told once.
        program.command("south", "Gallery\n")
        program.command("x painting", "A painting of a brass lantern.",
                        "[Picture: A brass lantern with a carrying ring")
        bell = "[Sound: A ship's bell rings out once.]"
        mark = program.command("ring bell", bell, "You ring the ship's bell.")
        speech.wait(NO_DEVICE, since=mark)
        program.command("ring bell", bell, "You ring the ship's bell.")

        # The cloakroom: the attendant waits for a link, chosen with Ctrl+K.
        program.command("north", "Pavilion Foyer\n")
        program.command("down", "Cloakroom\n")
        program.command("ask attendant about coat", "\"What may I fetch you,\" she asks",
                        "Choose a link with Control K.")
        self.assertEqual(program.links(), ["coat", "umbrella"])
        program.press("Return", "She hands you your coat")

        # Every point but the notice's scored in silence, all on the status line.
        program.press("ctrl+l", "Cloakroom Score: 5 ")
        self.assertNotIn("score has", "".join(speech.said()[quiet:]))
        self.assertEqual(len([u for u in speech.said() if u.startswith(NO_DEVICE)]), 1)

    def test_each_pause_is_told_and_a_road_is_chosen_by_its_link(self):
        # The Crossroads (stories/crossroads.inf): its opening waits for keys, then a link alone.
        program = self.start(self.portable(stories=["crossroads.ulx"]),
                             args=["games/crossroads.ulx"])
        speech = program.speech
        speech.wait("You have walked all morning", "[Press any key.]", "Press a key.")
        program.press("space", "The second board is older", "[Press any key.]", "Press a key.")
        program.press("space", "Which road will you take: the north road or the south road?",
                      "Choose a link with Control K.")
        self.assertEqual(program.links(), ["north road", "south road"])
        program.key("Down")
        program.press("Return", "You take the south road.", "Orchard\n")
        # The game goes on by commands (the choice's turn in the view: game_test).
        program.command("look", "Orchard\n", "Old apple trees")


if __name__ == "__main__":
    main()
