"""Games from the catalogue, downloaded as the IF Archive serves them (sent on to a mirror, no
length given) and played; the installed catalogue's sample."""
import io
import json
import shutil
import zipfile
from pathlib import Path

import pyatspi

from harness import BINARY_DIR, GAMES_TITLE, PROGRAM, STORIES, ProgramTest, Server, main, wait_for

SHIPPED = Path(__file__).resolve().parents[2] / "stories" / "games.json"


class Catalogue(ProgramTest):
    def choose_by_letters(self, program, letters, title):
        program.wait_first_screen()
        program.key("Tab", "Return")
        table = program.wait_chooser(GAMES_TITLE)
        program.type(letters)
        wait_for(lambda: next(c.name for c in table if c is not None and c.getState().contains(
            pyatspi.STATE_SELECTED)).startswith(f"{title} by "), title, program.screen)
        program.key("Return")

    def test_a_game_is_found_by_its_first_letters_fetched_unpacked_and_played(self):
        archive, mirror = Server(), Server()
        archive.mirror = mirror
        self.addCleanup(archive.stop)
        self.addCleanup(mirror.stop)
        # The catalogue we ship, every address on our archive; one a zip, as many there are.
        shipped = json.loads(SHIPPED.read_text(encoding="utf-8"))
        path = "/if-archive/games/zcode/lostpig.zip"
        catalogue = {title: [d, a, archive.url(path if title == "Lost Pig" else "/missing.z5")]
                     for title, (d, a, _) in shipped.items()}
        zipped = io.BytesIO()
        with zipfile.ZipFile(zipped, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("LostPig/LostPig.z8", (STORIES / "lantern.z5").read_bytes())
            z.writestr("LostPig/readme.txt", "Hello.")
        mirror.files[path] = zipped.getvalue()
        cwd = self.portable(catalogue, stories=())
        program = self.start(cwd)
        self.choose_by_letters(program, "Los", "Lost Pig")
        program.wait_focus(pyatspi.ROLE_PROGRESS_BAR, "Download Progress.")
        mirror.released.set()
        program.speech.wait("Rain follows you in")
        self.assertEqual(sorted(p.name for p in (cwd / "games").iterdir()),
                         ["Lost Pig transcript.txt", "Lost Pig.z8"])
        self.assertEqual((cwd / "games" / "Lost Pig.z8").read_bytes(),
                         (STORIES / "lantern.z5").read_bytes())

        # Chosen again, it starts at once: nothing more is fetched.
        program.quit_game()
        mark = program.speech.mark()
        self.choose_by_letters(program, "Los", "Lost Pig")
        program.speech.wait("Rain follows you in", since=mark)
        self.assertEqual(archive.requests, [path])

        # A failed download says why, and leaves nothing.
        program.quit_game()
        self.choose_by_letters(program, "Pho", "Photopia")
        self.assertEqual(program.answer_alert("Uh oh!"), "An error cropped up and the download "
                         "failed. The server has no game at that address (error 404).")
        self.assertNotIn("Photopia.z5", [p.name for p in (cwd / "games").iterdir()])

    def test_the_installed_sample_plays_from_beside_the_catalogue(self):
        # The installed layout: bin/, libexec/tallowick/, share/tallowick/.
        prefix = self.temp_dir()
        for source, to in ((PROGRAM, "bin/tallowick"), (SHIPPED, "share/tallowick/games.json"),
                           (STORIES / "lantern.z5", "share/tallowick/Lantern Hall.z5"),
                           (BINARY_DIR / "dfrotz", "libexec/tallowick/dfrotz"),
                           (BINARY_DIR / "confine", "libexec/tallowick/confine")):
            (prefix / to).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy(source, prefix / to)
        home = self.temp_dir()
        (home / "Documents").mkdir()
        program = self.choose(self.start(self.temp_dir(), home=home,
                                         program=prefix / "bin" / "tallowick"))
        program.speech.wait("Rain follows you in")
        saves = home / "Documents" / "Tallowick"
        self.assertEqual([p.name for p in saves.iterdir()], ["Lantern Hall transcript.txt"])


if __name__ == "__main__":
    main()
