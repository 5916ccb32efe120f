"""The Saltmarsh Pavilion (stories/pavilion.inf), a room for each thing a
listening player must manage, played through by the keyboard alone: a
notice in three languages with its styles and an emoji, a book that waits
for a key before and after its passage, a slide projector's menu driven by
the arrows, a dance floor whose square is told, a picture and a sound heard
by their descriptions (with no sound device), the score on Ctrl+L after
NOTIFY OFF, saving and restoring through our dialogs, and a cloakroom
played by its links."""
import pyatspi

from harness import ProgramTest, main, walk, wait_for


NO_DEVICE = "No sound device: the game's sounds are not heard."


class Accessibility(ProgramTest):
    def test_each_room_of_the_pavilion_is_heard(self):
        story = "pavilion.gblorb"
        # No audio driver SDL knows: no sound device, whatever the machine has.
        program = self.start(self.portable(stories=(story,)), args=[f"games/{story}"],
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

        # Saved in the gallery, restored there after a walk to the foyer.
        program.save("pavilion", "Ok.")
        program.command("north", "Pavilion Foyer\n")
        program.restore("Ok.")
        program.command("look", "Gallery\n")

        # The cloakroom: the attendant waits for a link, chosen with Ctrl+K.
        program.command("north", "Pavilion Foyer\n")
        program.command("down", "Cloakroom\n")
        program.command("ask attendant about coat", "\"What may I fetch you,\" she asks",
                        "Choose a link with Control K.")
        program.key("ctrl+k")
        table = program.wait_chooser("Please choose a link.")
        names = wait_for(lambda: [o.name for o in walk(table)
                                  if o.getRole() == pyatspi.ROLE_TABLE_CELL] or None,
                         "the links listed", program.screen)
        self.assertEqual(names, ["coat", "umbrella"])
        program.press("Return", "She hands you your coat")

        # Every point but the notice's scored in silence, all on the status line.
        program.press("ctrl+l", "Cloakroom Score: 5 ")
        self.assertNotIn("score has", "".join(speech.said()[quiet:]))
        self.assertEqual(len([u for u in speech.said() if u.startswith(NO_DEVICE)]), 1)


if __name__ == "__main__":
    main()
