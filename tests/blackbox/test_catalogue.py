"""Choosing a game from the catalogue: found by typing its first letters,
downloaded with its progress bar in view as the IF Archive serves it (sent
on to a mirror, no length given), unpacked when zipped, started, and played
again with no second download; a download that fails says why; the
installed catalogue's sample plays from beside it."""
import http.server
import io
import json
import shutil
import threading
import zipfile
from pathlib import Path

import pyatspi

from harness import (BINARY_DIR, DEADLINE, GAMES_TITLE, PROGRAM, STORIES, ProgramTest, main,
                     wait_for)

SHIPPED = Path(__file__).resolve().parents[2] / "stories" / "games.json"


class Server(http.server.ThreadingHTTPServer):
    """An archive, or its mirror, on 127.0.0.1 at a free port."""

    def __init__(self, handler):
        self.requests = []
        self.released = threading.Event()
        super().__init__(("127.0.0.1", 0), handler)
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def url(self, path):
        return f"http://127.0.0.1:{self.server_address[1]}{path}"

    def stop(self):
        self.released.set()
        self.shutdown()


class Archive(http.server.BaseHTTPRequestHandler):
    """Sends every game on to the mirror, as the archive does."""

    def do_GET(self):  # noqa: N802 - the library's name
        self.server.requests.append(self.path)
        self.send_response(302)
        self.send_header("Location", self.server.mirror.url(self.path))
        self.end_headers()

    def log_message(self, *args):
        pass


class Mirror(http.server.BaseHTTPRequestHandler):
    """Serves the files it holds in chunks, with no length given, holding
    back all but the first until `released`; 404 for anything else."""
    protocol_version = "HTTP/1.1"

    def do_GET(self):  # noqa: N802
        self.server.requests.append(self.path)
        body = self.server.files.get(self.path)
        if body is None:
            return self.send_error(404)
        self.send_response(200)
        self.send_header("Transfer-Encoding", "chunked")
        self.send_header("Connection", "close")
        self.end_headers()
        for i, at in enumerate(range(0, len(body), 4096)):
            if i == 1:
                self.server.released.wait(DEADLINE)
            piece = body[at:at + 4096]
            self.wfile.write(f"{len(piece):x}\r\n".encode() + piece + b"\r\n")
            self.wfile.flush()
        self.wfile.write(b"0\r\n\r\n")

    def log_message(self, *args):
        pass


def chosen_row(table):
    """The text of the chooser's row that the keys have moved to."""
    return next((c.name for c in table if c is not None
                 and c.getState().contains(pyatspi.STATE_SELECTED)), "")


def zipped(**files):
    data = io.BytesIO()
    with zipfile.ZipFile(data, "w", zipfile.ZIP_DEFLATED) as z:
        for name, body in files.items():
            z.writestr(name, body)
    return data.getvalue()


class Catalogue(ProgramTest):
    def servers(self):
        archive, mirror = Server(Archive), Server(Mirror)
        archive.mirror = mirror
        mirror.files = {}
        for s in (archive, mirror):
            self.addCleanup(s.stop)
        return archive, mirror

    def test_a_game_is_found_by_its_first_letters_fetched_unpacked_and_played(self):
        archive, mirror = self.servers()
        # The catalogue we ship, every address on our archive; one game is
        # a zip, as many on the IF Archive are (its story is our sample).
        shipped = json.loads(SHIPPED.read_text(encoding="utf-8"))
        path = "/if-archive/games/zcode/lostpig.zip"
        catalogue = {title: [d, a, archive.url(path if title == "Lost Pig" else "/missing.z5")]
                     for title, (d, a, _) in shipped.items()}
        mirror.files[path] = zipped(**{"LostPig/LostPig.z8": (STORIES / "lantern.z5").read_bytes(),
                                       "LostPig/readme.txt": "Hello."})
        cwd = self.portable(catalogue, stories=())
        program = self.start(cwd)
        program.wait_first_screen()
        program.key("Tab", "Return")
        table = program.wait_chooser(GAMES_TITLE)
        program.type("Los")
        wait_for(lambda: chosen_row(table).startswith("Lost Pig by "), "Lost Pig", program.screen)
        program.key("Return")
        program.wait_focus(pyatspi.ROLE_PROGRESS_BAR, "Download Progress.")
        mirror.released.set()
        program.speech.wait("Rain follows you in")
        self.assertEqual(sorted(p.name for p in (cwd / "games").iterdir()),
                         ["Lost Pig transcript.txt", "Lost Pig.z8"])
        self.assertEqual((cwd / "games" / "Lost Pig.z8").read_bytes(),
                         (STORIES / "lantern.z5").read_bytes())

        # Chosen again, it starts at once: nothing more is fetched.
        program.key("ctrl+q")
        program.wait_find(pyatspi.ROLE_ALERT, "Confirmation.")
        program.key("Return")
        program.wait_first_screen()
        mark = program.speech.mark()
        program.key("Tab", "Return")
        table = program.wait_chooser(GAMES_TITLE)
        program.type("Los")
        wait_for(lambda: chosen_row(table).startswith("Lost Pig by "), "Lost Pig")
        program.key("Return")
        program.speech.wait("Rain follows you in", since=mark)
        self.assertEqual(archive.requests, [path])

        # A failed download says why, and leaves nothing.
        program.key("ctrl+q")
        program.wait_find(pyatspi.ROLE_ALERT, "Confirmation.")
        program.key("Return")
        program.wait_first_screen()
        program.key("Tab", "Return")
        table = program.wait_chooser(GAMES_TITLE)
        program.type("Pho")
        wait_for(lambda: chosen_row(table).startswith("Photopia by "), "Photopia")
        program.key("Return")
        alert = program.wait_find(pyatspi.ROLE_ALERT, "Uh oh!")
        self.assertEqual(alert.description, "An error cropped up and the download failed. "
                         "The server has no game at that address (error 404).")
        program.key("Return")
        wait_for(lambda: program.find(pyatspi.ROLE_ALERT) is None, "the alert to go")
        self.assertNotIn("Photopia.z5", [p.name for p in (cwd / "games").iterdir()])

    def test_the_installed_sample_plays_from_beside_the_catalogue(self):
        # The installed layout: bin/, libexec/tallowick/, share/tallowick/.
        prefix = self.temp_dir()
        for folder in ("bin", "libexec/tallowick", "share/tallowick"):
            (prefix / folder).mkdir(parents=True)
        shutil.copy(PROGRAM, prefix / "bin" / "tallowick")
        shutil.copy(BINARY_DIR / "dfrotz", prefix / "libexec" / "tallowick" / "dfrotz")
        shutil.copy(SHIPPED, prefix / "share" / "tallowick")
        shutil.copy(STORIES / "lantern.z5", prefix / "share" / "tallowick" / "Lantern Hall.z5")
        home = self.temp_dir()
        (home / "Documents").mkdir()
        program = self.start(self.temp_dir(), home=home, program=prefix / "bin" / "tallowick")
        program.wait_first_screen()
        self.choose(program)
        program.speech.wait("Rain follows you in")
        saves = home / "Documents" / "Tallowick"
        self.assertEqual([p.name for p in saves.iterdir()], ["Lantern Hall transcript.txt"])


if __name__ == "__main__":
    main()
