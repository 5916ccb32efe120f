"""A Glulx game that pauses and is played by links, as a blind player meets
it: The Crossroads (stories/crossroads.inf) waits for a key twice, with
words between, and each pause is told; then it waits for a link and nothing
else, which is told too, and the road is chosen with Ctrl+K from the list
of the links it shows, by the keyboard alone."""
import pyatspi

from harness import ProgramTest, main, walk, wait_for

LINKS_TITLE = "Please choose a link."


class Links(ProgramTest):
    def test_each_pause_is_told_and_a_road_is_chosen_by_its_link(self):
        story = "crossroads.ulx"
        program = self.start(self.portable(stories=(story,)), args=[f"games/{story}"])
        speech = program.speech
        speech.wait("You have walked all morning", "[Press any key.]", "Press a key.")
        program.press("space", "The second board is older", "[Press any key.]", "Press a key.")
        program.press("space", "Which road will you take: the north road or the south road?",
                      "Choose a link with Control K.")

        program.key("ctrl+k")
        table = program.wait_chooser(LINKS_TITLE)
        names = wait_for(lambda: [o.name for o in walk(table)
                                  if o.getRole() == pyatspi.ROLE_TABLE_CELL] or None,
                         "the links listed", program.screen)
        self.assertEqual(names, ["north road", "south road"])
        program.key("Down")
        program.press("Return", "You take the south road.", "Orchard\n")

        # The choice began a turn in the view; the game goes on by commands.
        self.assertIn(">south road\n", program.view())
        program.command("look", "Orchard\n", "Old apple trees")


if __name__ == "__main__":
    main()
