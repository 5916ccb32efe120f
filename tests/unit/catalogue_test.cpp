// The catalogue, games.json, and the file names of the games it lists.
#include "core/catalogue/file_names.h"
#include "core/text/utf8.h"
#include "support.h"

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

TEST(FileNames, TitleAndTheAddressesExtension) {
    EXPECT_EQ(local_file_name("Lantern Hall", "https://h/x/lantern.z5"), "Lantern Hall.z5");
    EXPECT_EQ(local_file_name("Game", "http://h/a.b/c"), "Game");
    EXPECT_EQ(local_file_name("Game", "http://h/x.z5?y=1.2#f.g"), "Game.z5");
    EXPECT_EQ(local_file_name("Lantern.Z5", "http://h/l.z5"), "Lantern.Z5");
    EXPECT_EQ(local_file_name("Ch\xc3\xa2teau", "http://h/c.z5"), "Ch\xc3\xa2teau.z5");
}

// The cap, and that no name leaves the save folder, are the fuzzer's to keep
// (fuzz/filename_fuzz.cpp and its reproducers).
TEST(FileNames, NeverLeaveTheSaveFolderNorNameADevice) {
    EXPECT_EQ(local_file_name("../../etc/passwd", "http://h/x.z5"), "_.._etc_passwd.z5");
    EXPECT_EQ(local_file_name("a\\b:c*d?\"<>|\x01", "http://h/x"), "a_b_c_d______");
    EXPECT_EQ(local_file_name(" ..hidden. ", "http://h/x"), "hidden");
    EXPECT_EQ(local_file_name("...", "http://h/x.z5"), "game.z5");
    EXPECT_EQ(local_file_name("con", "http://h/x.z5"), "_con.z5");
    EXPECT_EQ(local_file_name("\xff", "http://h/x"), "_");
}

} // namespace
} // namespace tw
