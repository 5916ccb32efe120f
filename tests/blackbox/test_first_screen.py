"""The first screen and leaving the program."""
import pyatspi

from harness import FRAME, ProgramTest, main


class FirstScreen(ProgramTest):
    def test_three_buttons_with_the_focus_on_the_first_and_exit_ends_with_1(self):
        program = self.start(self.portable())
        program.wait_first_screen()  # the frame, its three buttons, the focus
        program.key("Tab", "Tab", "Return")
        self.assertEqual(program.wait_exit(), 1)

    def test_a_save_folder_that_cannot_be_made_is_told_and_ends_with_2(self):
        home = self.temp_dir()  # without Documents, and no games/ here
        program = self.start(self.temp_dir(), home=home)
        alert = program.wait_find(pyatspi.ROLE_ALERT, "Oops.")
        self.assertEqual(alert.description, "The program was unable to create its save "
                         "directory and can not run. Please try again, or consider using the "
                         "portable copy.")
        self.assertIsNone(program.find(pyatspi.ROLE_FRAME, FRAME))
        program.key("Return")
        self.assertEqual(program.wait_exit(), 2)
        self.assertEqual(list(home.iterdir()), [])


if __name__ == "__main__":
    main()
