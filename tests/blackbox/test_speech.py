"""Our speech beside the screen reader's (another client at Orca's priority, MESSAGE) in one
speech-dispatcher, and the player's rate beside the screen reader's."""
import json
import os
import subprocess

from harness import ProgramTest, main, wait_for

# To its last piece: a voice held before that would be held on the opening.
OPENING = ["Rain follows you in", "Lantern Hall\n", "An interactive sample",
           "Release 1 / Serial number", "Lantern Hall\n", "Lantern Hall is long and draughty",
           "A fat green ledger"]
FIRST_PAGE = "You turn to the first page and read."


def screen_reader_says(speech, text):
    mark = speech.mark()
    subprocess.run(["spd-say", "-P", "message", text], check=True, timeout=30,
                   env=dict(os.environ, SPEECHD_ADDRESS=speech.address))
    speech.wait(text, since=mark)


class Speech(ProgramTest):
    def assert_heard_whole_after(self, program, message, last, since=0):
        """Said after `since`: a text cut by `message`, then from the cut piece again to the
        piece that starts with `last`, once each, nothing left out (as the view shows it)."""
        said = program.speech.said()[since:]
        listing = "\n".join(map(repr, said))
        at = said.index(message)
        self.assertTrue(at > 0, f"nothing of ours was being said\n{listing}")
        after = said[at + 1:]
        after = after[:next(i for i, u in enumerate(after) if u.startswith(last)) + 1]
        self.assertEqual(after[0], said[at - 1], listing)
        self.assertIn(" ".join(" ".join(after).split()), " ".join(program.view().split()), listing)

    def test_the_screen_readers_words_come_first_and_ours_go_on_from_the_cut_piece(self):
        # At start-up the screen reader announces the window during the opening's first piece.
        program = self.start(self.portable(), held=True, args=["games/lantern.z5"])
        speech = program.speech
        speech.wait(OPENING[0])
        screen_reader_says(speech, "Tallowick, by Brennholt. frame")
        speech.release()
        speech.wait(*OPENING)
        self.assert_heard_whole_after(program, "Tallowick, by Brennholt. frame", OPENING[-1])

        # During a long reply, the screen reader's answer to one of its keys.
        speech.hold()
        mark = program.command("read ledger", FIRST_PAGE)
        speech.wait_held()
        screen_reader_says(speech, "Twelve o'clock.")
        speech.release()
        speech.wait("Entry 150: the end of the ledger.", since=mark)
        self.assert_heard_whole_after(program, "Twelve o'clock.", "Entry 150:", since=mark)

    def test_closing_the_window_silences_the_reply_at_once(self):
        program = self.start_game()
        speech = program.speech
        speech.wait(*OPENING)
        speech.hold()
        mark = program.command("read ledger", FIRST_PAGE)
        speech.wait_held()
        self.assertEqual(program.close(), 1)
        speech.wait_held(False)  # stopped by the service, not left to end
        speech.release()
        # Nothing of ours waits in the service: a message after is next.
        screen_reader_says(speech, "Desktop.")
        self.assertEqual(speech.said()[mark + 1:], ["Desktop."])

    def test_the_players_rate_moves_with_the_screen_readers(self):
        home = self.temp_dir()
        orca = home / ".local/share/orca/user-settings.conf"
        orca.parent.mkdir(parents=True)

        def orca_rate(rate):  # Orca's 0 to 99; speech-dispatcher's is 2 * rate - 98
            orca.write_text(json.dumps({"general": {"voices": {"default": {"rate": rate}}}}))

        # An older Tallowick's absolute rate, heard as before, kept as an offset (Orca's 60: 22).
        orca_rate(60)
        program = self.start(self.catalogued(), home=home)
        program.wait_first_screen()
        settings = program.config / "tallowick" / "settings.json"
        settings.parent.mkdir(parents=True)
        settings.write_text('{"speech_rate": 30}')
        self.choose(program)
        speech = program.speech
        speech.wait(*OPENING)
        self.assertEqual(set(speech.rates()), {30})
        self.assertEqual(json.loads(settings.read_text()), {"speech_rate_offset": 8})

        # Faster than Orca by the player's steps.
        program.press("ctrl+shift+Up", "Faster.")
        self.assertEqual(speech.rates()[-1], 40)
        wait_for(lambda: json.loads(settings.read_text()) == {"speech_rate_offset": 18},
                 "the offset saved", settings.read_text)

        # Orca slowed down (40: -18); the next game follows, the offset kept.
        orca_rate(40)
        program.quit_game()
        mark = speech.mark()
        self.choose(program)
        speech.wait(*OPENING, since=mark)
        self.assertEqual(set(speech.rates()[mark:]), {0})


if __name__ == "__main__":
    main()
