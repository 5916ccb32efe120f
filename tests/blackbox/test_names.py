"""Each name heard once. A screen reader says the focused window, each named container on the
way down, then the focused control by its label: so every window has a name, no panel repeats
it, and a dialog named by its question or title leaves its one control unnamed."""
import pyatspi

from harness import (BUTTONS, FRAME, GAMES_TITLE, SAVE_QUESTION, SAVES_TITLE, WINDOW_ROLES,
                     ProgramTest, Server, main, walk, wait_for, window_of)

CONTAINERS = (pyatspi.ROLE_PANEL, pyatspi.ROLE_FILLER, pyatspi.ROLE_SCROLL_PANE)


def label_of(control):
    for relation in control.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            return " ".join(relation.getTarget(i).name for i in range(relation.getNTargets()))
    return control.name


def heard(focused):
    """(role, name) of what is said when the focus lands on `focused`."""
    chain, obj = [(focused.getRoleName(), label_of(focused))], focused.parent
    while obj is not None and obj.getRole() not in WINDOW_ROLES:
        if obj.name and obj.getRole() not in (pyatspi.ROLE_FILLER, pyatspi.ROLE_SCROLL_PANE):
            chain.append((obj.getRoleName(), obj.name))
        obj = obj.parent
    if obj is not None:
        chain.append((obj.getRoleName(), obj.name))
    return chain[::-1]


class Names(ProgramTest):
    def assert_heard(self, program, *expected):
        """Waits until `expected` is heard; no container anywhere has a name."""
        expected = list(expected)
        last = []

        def matches():
            last[:] = heard(program.focused())
            return last == expected
        wait_for(matches, f"{expected}", lambda: f"heard: {last}\n{program.screen()}")
        named = [(o.getRoleName(), o.name) for o in walk(program.app())
                 if o.getRole() in CONTAINERS and o.name]
        self.assertEqual(named, [])

    def test_every_window_is_named_once(self):
        # A download that starts and then waits until the test ends.
        server = Server()
        server.files["/slow.z5"] = bytes(100000)
        self.addCleanup(server.stop)
        cwd = self.portable({"Lantern Hall": ["A test.", "Us", "http://127.0.0.1:1/lantern.z5"],
                             "Slow Game": ["Not here yet.", "Them", server.url("/slow.z5")]})
        (cwd / "games" / "lantern.z5").rename(cwd / "games" / "Lantern Hall.z5")
        program = self.start(cwd)
        self.assert_heard(program, ("frame", FRAME), ("push button", BUTTONS[0]))

        # The toolkit's file chooser, a dialog by its title (its panels are the toolkit's).
        program.key("Return")
        wait_for(lambda: (w := window_of(program.focused())).getRoleName() == "dialog"
                 and w.name == "Please choose the game to open.", "the file chooser",
                 program.screen)
        program.key("Escape")
        program.wait_first_screen()

        # The catalogue: the dialog by its title, which heads the list.
        program.key("Tab", "Return")
        self.assert_heard(program, ("dialog", GAMES_TITLE), ("table", ""))
        self.assertEqual(program.focused().queryTable().getColumnHeader(0).name, GAMES_TITLE)

        # The game screen: the frame, then the field by its label.
        program.key("Return")
        self.assert_heard(program, ("frame", FRAME), ("text", "Input."))
        self.assertEqual(label_of(program.find(pyatspi.ROLE_TEXT, "Output.")), "Output.")

        # The save prompt: its question once, as the dialog's name.
        program.key("ctrl+s")
        self.assert_heard(program, ("dialog", SAVE_QUESTION), ("text", ""))
        program.type("names")
        program.key("Return")
        program.wait_focus(pyatspi.ROLE_TEXT, "Input.")

        # The restore chooser.
        program.key("ctrl+r")
        self.assert_heard(program, ("dialog", SAVES_TITLE), ("table", ""))
        self.assertEqual(program.focused().queryTable().getColumnHeader(0).name, SAVES_TITLE)
        program.key("Escape")
        program.wait_focus(pyatspi.ROLE_TEXT, "Input.")

        # A message box: its caption, then its text.
        program.key("ctrl+q")
        self.assert_heard(program, ("alert", "Confirmation."), ("push button", "Yes"))
        self.assertEqual(window_of(program.focused()).description, "Are you sure you wish to quit?")

        # Back on the first screen after the game.
        program.key("Return")
        self.assert_heard(program, ("frame", FRAME), ("push button", BUTTONS[0]))

        # The download dialog, by the game it fetches.
        self.choose(program, 1, until_input=False)
        self.assert_heard(program, ("dialog", "Downloading Slow Game."),
                          ("progress bar", "Download Progress."))
        program.key("Escape")
        self.assert_heard(program, ("frame", FRAME), ("push button", BUTTONS[1]))


if __name__ == "__main__":
    main()
