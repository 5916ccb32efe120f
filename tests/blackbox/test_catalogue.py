"""Choosing a game from the catalogue, downloading it with its progress bar
in view, and a download that fails."""
import http.server
import threading

import pyatspi

from harness import DEADLINE, STORIES, ProgramTest, main, wait_for


class StoryServer(http.server.ThreadingHTTPServer):
    """Serves the sample story on 127.0.0.1 at a free port, holding back
    all but its first piece until `released` is set, so that the download
    is seen while it runs; 404 for anything else."""

    def __init__(self):
        self.body = (STORIES / "lantern.z5").read_bytes()
        self.released = threading.Event()
        super().__init__(("127.0.0.1", 0), StoryHandler)
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def url(self, path):
        return f"http://127.0.0.1:{self.server_address[1]}{path}"

    def stop(self):
        self.released.set()
        self.shutdown()


class StoryHandler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):  # noqa: N802 - the library's name
        if self.path != "/lantern.z5":
            return self.send_error(404)
        self.send_response(200)
        self.send_header("Content-Length", str(len(self.server.body)))
        self.end_headers()
        self.wfile.write(self.server.body[:4096])
        self.wfile.flush()
        self.server.released.wait(DEADLINE)
        self.wfile.write(self.server.body[4096:])

    def log_message(self, *args):
        pass


class Catalogue(ProgramTest):
    def test_a_game_is_chosen_downloaded_and_played(self):
        server = StoryServer()
        self.addCleanup(server.stop)
        cwd = self.portable({"Lantern Hall": ["A hall of lanterns.", "Brennholt",
                                              server.url("/lantern.z5")],
                             "Missing": ["Not there.", "Nobody", server.url("/missing.z5")]},
                            stories=())
        program = self.start(cwd)
        program.wait_first_screen()
        program.key("Tab", "Return")
        table = program.wait_focus(pyatspi.ROLE_TABLE, "Please choose a game you wish to play.")
        cells = table.queryTable()
        self.assertEqual([cells.getAccessibleAt(r, 0).name for r in range(cells.nRows)],
                         ["Lantern Hall by Brennholt: A hall of lanterns.",
                          "Missing by Nobody: Not there."])

        # A failed download: told, and nothing left under the game's name.
        program.key("Down", "Return")
        alert = program.wait_find(pyatspi.ROLE_ALERT, "Uh oh!")
        self.assertEqual(alert.description, "An error cropped up and the download failed. "
                         "The server has no game at that address (error 404).")
        program.key("Return")
        wait_for(lambda: program.find(pyatspi.ROLE_ALERT) is None, "the alert to go")
        self.assertEqual(sorted(p.name for p in (cwd / "games").iterdir()), [])

        program.key("Return")
        program.wait_focus(pyatspi.ROLE_TABLE, "Please choose a game you wish to play.")
        program.key("Return")
        program.wait_focus(pyatspi.ROLE_PROGRESS_BAR, "Download Progress.")
        server.released.set()
        program.speech.wait("Rain follows you in")
        self.assertEqual((cwd / "games" / "Lantern Hall.z5").read_bytes(), server.body)


if __name__ == "__main__":
    main()
