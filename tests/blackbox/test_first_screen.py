"""The first screen and the save directory, as a screen reader meets them."""
import os

import pyatspi

import harness
from harness import BUTTONS, FRAME, wait_for

OOPS_TEXT = ("The program was unable to create its save directory and can not run. "
             "Please try again, or consider using the portable copy.")


def tree(root):
    """Every path below `root`, relative, sorted."""
    return sorted(os.path.relpath(os.path.join(d, n), root)
                  for d, dirs, files in os.walk(root) for n in dirs + files)


class FirstScreen(harness.ProgramTest):
    def start_plain(self):
        """The program with a HOME that has Documents/, in a folder without
        "games"."""
        home = self.temp_dir("tallowick-home-")
        (home / "Documents").mkdir()
        program = self.start(self.temp_dir("tallowick-cwd-"), home)
        return program, home

    def test_three_buttons_and_the_focus_on_open(self):
        program, home = self.start_plain()
        frame = program.wait_find(pyatspi.ROLE_FRAME, FRAME)
        self.assertEqual(frame.name, FRAME)
        wait_for(lambda: len(program.buttons()) == 3, "the three buttons", detail=program.screen)
        self.assertEqual([b.name for b in program.buttons()], list(BUTTONS))
        # Nothing else on the screen is a button.
        self.assertEqual(len(program.find_all(pyatspi.ROLE_PUSH_BUTTON)), 3)
        program.wait_focused(pyatspi.ROLE_PUSH_BUTTON, "Open a game.")
        self.assertTrue((home / "Documents" / "Tallowick").is_dir(),
                        "the save directory ~/Documents/Tallowick was not created")

    def test_exit_button_ends_with_status_1(self):
        program, _ = self.start_plain()
        program.wait_first_screen()
        exit_button = harness.find(program.frame(), pyatspi.ROLE_PUSH_BUTTON, "Exit!")
        harness.press_button(exit_button)
        self.assertEqual(program.wait_exit(), 1)

    def test_exit_button_by_keyboard(self):
        program, _ = self.start_plain()
        program.wait_first_screen()
        program.key("Tab", "Tab")
        program.wait_focused(pyatspi.ROLE_PUSH_BUTTON, "Exit!")
        program.key("space")
        self.assertEqual(program.wait_exit(), 1)

    def test_close_box_ends_with_status_1(self):
        program, _ = self.start_plain()
        program.wait_first_screen()
        program.close()
        self.assertEqual(program.wait_exit(), 1)

    def test_portable_copy_touches_nothing_in_home(self):
        home = self.temp_dir("tallowick-home-")
        (home / "Documents").mkdir()
        cwd = self.temp_dir("tallowick-cwd-")
        (cwd / "games").mkdir()
        before = tree(home)
        program = self.start(cwd, home)
        program.wait_first_screen()
        harness.press_button(harness.find(program.frame(), pyatspi.ROLE_PUSH_BUTTON, "Exit!"))
        self.assertEqual(program.wait_exit(), 1)
        self.assertEqual(tree(home), before, "the portable copy wrote under HOME")
        self.assertEqual(tree(cwd), ["games"])

    def test_no_documents_folder_says_oops_and_ends_with_status_2(self):
        home = self.temp_dir("tallowick-home-")
        program = self.start(self.temp_dir("tallowick-cwd-"), home)
        frames_seen = []

        def oops_box():
            frames_seen.extend(f.name for f in program.find_all(pyatspi.ROLE_FRAME, FRAME))
            return program.find(pyatspi.ROLE_ALERT, "Oops.")

        box = wait_for(oops_box, "the \"Oops.\" alert", detail=program.screen)
        self.assertEqual(box.description, OOPS_TEXT)
        labels = [o for o in harness.walk(box) if o.getRole() == pyatspi.ROLE_LABEL]
        self.assertIn(OOPS_TEXT, [label.name for label in labels])
        # Dismissed with Enter, as a player would.
        program.focus_top()
        wait_for(lambda: (f := program.focused()) is not None
                 and f.getRole() == pyatspi.ROLE_PUSH_BUTTON,
                 "the focus on the box's button", detail=program.screen)
        program.key("Return")

        def ended():
            frames_seen.extend(f.name for f in program.find_all(pyatspi.ROLE_FRAME, FRAME))
            return not program.running()

        wait_for(ended, "the program to exit after \"Oops.\"", detail=program.screen)
        self.assertEqual(program.process.returncode, 2)
        self.assertEqual(frames_seen, [], "the main window appeared although it cannot run")
        self.assertEqual(tree(home), [], "something was created in a HOME without Documents")


if __name__ == "__main__":
    harness.main()
