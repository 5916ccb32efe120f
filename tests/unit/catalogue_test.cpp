// The catalogue, games.json; the download worker, against a real HTTP server
// on the loopback interface; the file names of the games and their unpacking.
#include "core/catalogue/fetch.h"
#include "core/catalogue/file_names.h"
#include "core/catalogue/unpack.h"
#include "core/text/utf8.h"
#include "http_server.h"
#include "support.h"

#include <thread>
#include <zip.h>

namespace tw {
namespace {

using namespace test;

TEST(Catalogue, KeepsFileOrderAndBuildsChooserLines) {
    auto cat = parse_catalogue(R"({"Zeta": ["Last first.", "Z", "http://h/z.z5", 7],
                                  "Alpha": ["A story.", "A", ""]})");
    ASSERT_TRUE(cat.ok()) << cat.error;
    ASSERT_EQ(cat.entries.size(), 2u);
    EXPECT_EQ(cat.entries[0].line(), "Zeta by Z: Last first.");
    EXPECT_EQ(cat.entries[1].line(), "Alpha by A: A story.");
    // A faulty address matters only once its game is chosen.
    EXPECT_EQ(locate_game(cat.entries[1], "games").error,
              "The download address of the catalogue entry \"Alpha\" is missing or is not text.");
    auto where = locate_game(cat.entries[0], "games");
    EXPECT_EQ(where.path, fs::path("games") / "Zeta.z5");
    EXPECT_EQ(where.uri, "http://h/z.z5");
}

TEST(Catalogue, EveryFaultIsASentenceNamingIt) {
    auto error = [](std::string_view text) { return parse_catalogue(text).error; };
    EXPECT_EQ(error("{\n  \"A\": [\"x\",\n  nope]}")
                  .rfind("The game catalogue could not be read: line 3, column ", 0),
              0u);
    EXPECT_EQ(error("[]"), "The game catalogue is not a JSON object of games.");
    EXPECT_EQ(error("{}"), "The game catalogue lists no games.");
    EXPECT_EQ(error(R"({"Odd One": "text"})"),
              "The catalogue entry \"Odd One\" is not a list of description, author and download "
              "address.");
    EXPECT_EQ(error(R"({"X": [1, "a"]})"),
              "The catalogue entry \"X\" has no description, or its description is not text.");
    EXPECT_EQ(error(R"({"Ok": ["d", "a"], "X": ["d"]})"),
              "The catalogue entry \"X\" has no author, or its author is not text.");
    // Bad bytes still give a readable message.
    auto bad = error("{\"\xff\": 1}");
    EXPECT_EQ(decode_utf8(bad), bad);
    EXPECT_EQ(load_catalogue("/nonexistent/games.json").error,
              "The game catalogue /nonexistent/games.json was not found.");
}

TEST(Catalogue, IsFoundInTheFolderThenBesideTheProgramThenInItsDataFolder) {
    temp_dir dir;
    for (auto sub : {"cwd", "bin", "share/tallowick"}) {
        fs::create_directories(dir / sub);
        write_file(dir / sub / "games.json", "{}");
    }
    EXPECT_EQ(find_catalogue(dir / "cwd", dir / "bin"), dir / "cwd/games.json");
    fs::remove(dir / "cwd/games.json");
    EXPECT_EQ(find_catalogue(dir / "cwd", dir / "bin"), dir / "bin/games.json");
    fs::remove(dir / "bin/games.json");
    EXPECT_EQ(find_catalogue(dir / "cwd", dir / "bin"), dir / "share/tallowick/games.json");
    EXPECT_EQ(find_catalogue(dir / "cwd", {}), std::nullopt);
}

class Download : public ::testing::Test {
  protected:
    http_server server;
    temp_dir dir;
    download_progress progress;
    fs::path target() const { return dir / "Lantern Hall.z5"; }

    fetch_result fetch(const std::string& path, const fetch_options& opts = {}) {
        return fetch_to_file(server.url(path), target(), progress, opts);
    }
    // After any failure: no file under the game's name, no temporary file.
    void expect_nothing_left() { EXPECT_TRUE(fs::is_empty(dir.path())); }
};

// A body with no length given, as the IF Archive sends it: test_catalogue.
TEST_F(Download, TheWholeBodyLandsUnderTheGamesName) {
    auto body = pattern_bytes(3 * 1024 * 1024 + 17);
    server.answer("/lantern.z5", 200, body);
    auto result = fetch("/lantern.z5");
    EXPECT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(progress.state(), download_state::completed);
    EXPECT_EQ(progress.percent(), 100);
    EXPECT_EQ(read_file(target()), body);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
}

// A redirect followed, as to the IF Archive's mirrors: test_catalogue.
TEST_F(Download, RedirectsGoNoFurtherThanTenHopsNorOffTheWeb) {
    for (int hop = 0; hop < 11; ++hop)
        server.answer("/hop" + std::to_string(hop), 302, "",
                      "Location: /hop" + std::to_string(hop + 1) + "\r\n");
    server.answer("/hop11", 200, "too far");
    EXPECT_FALSE(fetch("/hop0").ok());
    server.answer("/file", 302, "", "Location: file:///etc/passwd\r\n");
    EXPECT_FALSE(fetch("/file").ok());
    expect_nothing_left();
}

// An error page (404) is a failure that says why: test_catalogue.
TEST_F(Download, EmptyBodiesBrokenConnectionsAndMissingFoldersAreFailures) {
    server.answer("/empty", 200, "");
    EXPECT_EQ(fetch("/empty").message, "The server sent an empty file.");
    EXPECT_EQ(progress.state(), download_state::failed);
    server.answer("/short", 200, "only this", "Content-Length: 1000\r\n");
    EXPECT_FALSE(fetch("/short").ok());
    EXPECT_FALSE(fetch_to_file("gopher://127.0.0.1/x", target(), progress).ok());
    expect_nothing_left();
    server.answer("/lantern.z5", 200, "story");
    EXPECT_FALSE(fetch_to_file(server.url("/lantern.z5"), dir / "missing/x.z5", progress).ok());
}

TEST_F(Download, ACancelStopsAStalledTransferAtOnce) {
    server.stall("/stall", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nsome");
    std::thread canceller([&] {
        server.wait_stalled();
        progress.cancel();
    });
    auto result = fetch("/stall");
    canceller.join();
    EXPECT_EQ(result.state, download_state::cancelled);
    expect_nothing_left();
}

TEST_F(Download, AStalledTransferGivesUp) {
    server.stall("/stall", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nsome");
    fetch_options quick;
    quick.low_speed_time = std::chrono::seconds(1);
    EXPECT_EQ(fetch("/stall", quick).state, download_state::failed);
    expect_nothing_left();
}

// The cap, and that no name leaves the save folder, are also the fuzzer's
// (fuzz/filename_fuzz.cpp and its reproducers).
TEST(FileNames, TheTitleAndTheAddressesExtensionNeverLeavingTheFolderNorNamingADevice) {
    EXPECT_EQ(local_file_name("Lantern Hall", "https://h/x/lantern.z5"), "Lantern Hall.z5");
    EXPECT_EQ(local_file_name("Game", "http://h/a.b/c"), "Game");
    EXPECT_EQ(local_file_name("Game", "http://h/x.z5?y=1.2#f.g"), "Game.z5");
    EXPECT_EQ(local_file_name("Lantern.Z5", "http://h/l.z5"), "Lantern.Z5");
    EXPECT_EQ(local_file_name("Ch\xc3\xa2teau", "http://h/c.z5"), "Ch\xc3\xa2teau.z5");
    EXPECT_EQ(local_file_name("../../etc/passwd", "http://h/x.z5"), "_.._etc_passwd.z5");
    EXPECT_EQ(local_file_name("a\\b:c*d?\"<>|\x01", "http://h/x"), "a_b_c_d______");
    EXPECT_EQ(local_file_name(" ..hidden. ", "http://h/x"), "hidden");
    EXPECT_EQ(local_file_name("...", "http://h/x.z5"), "game.z5");
    EXPECT_EQ(local_file_name("con", "http://h/x.z5"), "_con.z5");
    EXPECT_EQ(local_file_name("\xff", "http://h/x"), "_");
}

// A zip of `files` (name, contents) made with minizip; `stored`: uncompressed.
void make_zip(const fs::path& at, const std::vector<std::pair<std::string, std::string>>& files,
              bool stored = false) {
    zipFile zip = zipOpen64(at.string().c_str(), APPEND_STATUS_CREATE);
    ASSERT_TRUE(zip);
    for (const auto& [name, bytes] : files) {
        zip_fileinfo info{};
        ASSERT_EQ(zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                        stored ? 0 : Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0),
                  ZIP_OK);
        zipWriteInFileInZip(zip, bytes.data(), static_cast<unsigned>(bytes.size()));
        zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
}

TEST(Unpack, TheStoryIsUnpackedUnderTheGamesNameAndNothingElse) {
    temp_dir dir;
    fs::create_directory(dir / "saves");
    make_zip(dir / "g.zip", {{"LostPig/readme.txt", "Hello."},
                             {"../../escape/LostPig.z8", std::string(3000, 'p')},
                             {"LostPig/feelies.blb", "xx"}});
    auto got = unpack_story(dir / "g.zip", dir / "saves", "Lost Pig", {"Lost Pig", "LostPig"});
    ASSERT_EQ(got.problem, "");
    EXPECT_EQ(got.story, dir / "saves" / "Lost Pig.z8"); // named like the game, not the largest
    EXPECT_EQ(got.note, "");
    EXPECT_EQ(read_file(got.story), std::string(3000, 'p'));
    EXPECT_EQ(names_in(dir / "saves"), std::vector<std::string>{"Lost Pig.z8"});
    EXPECT_EQ(unpacked_before(dir / "saves", "Lost Pig"), got.story);
    EXPECT_FALSE(fs::exists(dir / "escape"));

    // Of several, none named like the game: the largest, and the player told.
    make_zip(dir / "two.zip", {{"small.z5", "s"}, {"big.ulx", "bigger"}});
    got = unpack_story(dir / "two.zip", dir / "saves", "Two", {"Two"});
    EXPECT_EQ(got.story, dir / "saves" / "Two.ulx");
    EXPECT_EQ(got.note, "The archive holds 2 story files; Tallowick plays the largest, big.ulx.");
}

TEST(Unpack, WhatTravelsWithAGameGoesWithIt) {
    temp_dir dir;
    // Magnetic Scrolls: pictures and hints found by the story's name.
    make_zip(dir / "m.zip", {{"pawn/PAWN.MAG", "MaSc" + std::string(38, '\0')},
                             {"pawn/PAWN.GFX", "g"},
                             {"pawn/pawn.hnt", "h"},
                             {"pawn/readme", "r"},
                             {"PAWN.GFX", "x"}});
    EXPECT_EQ(unpack_story(dir / "m.zip", dir / "", "Pawn", {}).problem, "");
    // Hugo: resources under the names the game's code gives them.
    auto hugo = "\x1f" + std::string("ab05-05-05") + std::string(53, '\0');
    make_zip(dir / "h.zip", {{"fb.hex", hugo}, {"FBRES", "r"}, {"fb.txt", "t"}});
    EXPECT_EQ(unpack_story(dir / "h.zip", dir / "", "Future Boy", {}).problem, "");
    EXPECT_EQ(names_in(dir.path()),
              (std::vector<std::string>{"FBRES", "Future Boy.hex", "Pawn.gfx", "Pawn.hnt",
                                        "Pawn.mag", "h.zip", "m.zip"}));
    EXPECT_EQ(read_file(dir / "Pawn.gfx"), "g");
}

TEST(Unpack, FaultsAreSentencesAndLeaveNothing) {
    temp_dir dir;
    auto problem = [&](const fs::path& zip, std::uintmax_t limit = unpacked_story_limit) {
        auto got = unpack_story(zip, dir.path(), "Game", {"Game"}, limit);
        EXPECT_TRUE(got.story.empty());
        EXPECT_FALSE(unpacked_before(dir.path(), "Game"));
        return got.problem;
    };
    write_file(dir / "text.zip", "not a zip at all");
    EXPECT_EQ(problem(dir / "text.zip"),
              "The downloaded file is not a zip archive that Tallowick can read.");
    make_zip(dir / "none.zip", {{"manual.pdf", "x"}});
    EXPECT_EQ(problem(dir / "none.zip"),
              "The downloaded archive holds no story file that Tallowick can play.");
    // A story larger than it may be.
    make_zip(dir / "bomb.zip", {{"Game.z5", std::string(100000, 0)}});
    EXPECT_EQ(problem(dir / "bomb.zip", 1000),
              "The story in the downloaded archive is too large to be a game.");
    // Its bytes damaged: the checksum tells.
    make_zip(dir / "hurt.zip", {{"Game.z5", std::string(5000, 'g')}}, true);
    auto bytes = read_file(dir / "hurt.zip");
    bytes[bytes.find(std::string(100, 'g')) + 50] = 'h';
    write_file(dir / "hurt.zip", bytes);
    EXPECT_EQ(problem(dir / "hurt.zip"), "The downloaded archive cannot be read: it is damaged.");
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"bomb.zip", "hurt.zip", "none.zip",
                                                               "text.zip"}));
}

} // namespace
} // namespace tw
