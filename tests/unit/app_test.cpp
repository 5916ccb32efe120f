// Start-up choices and the small rules around launching and saving.
#include "app/savedir.h"
#include "game/launch.h"
#include "game/saves.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdlib.h>

namespace fs = std::filesystem;
using namespace tw;

namespace {

struct scratch {
    scratch() {
        std::string pattern = (fs::temp_directory_path() / "tallowick-XXXXXX").string();
        dir = mkdtemp(pattern.data());
    }
    ~scratch() { fs::remove_all(dir); }
    void touch(const fs::path& p) { std::ofstream(dir / p) << "x"; }
    fs::path dir;
};

} // namespace

TEST(SavePath, GamesFolderMakesAPortableCopyAndTouchesNothingElse) {
    scratch cwd, home;
    fs::create_directory(cwd.dir / "games");
    EXPECT_EQ(choose_savepath(cwd.dir, home.dir), fs::path("games"));
    EXPECT_FALSE(fs::exists(home.dir / "Documents"));
    // Any entry named "games" counts, even a file.
    scratch cwd2;
    cwd2.touch("games");
    EXPECT_EQ(choose_savepath(cwd2.dir, home.dir), fs::path("games"));
}

TEST(SavePath, DocumentsFolderIsUsedOrItsLastPartCreated) {
    scratch cwd, home;
    fs::create_directories(home.dir / "Documents" / "Tallowick");
    EXPECT_EQ(choose_savepath(cwd.dir, home.dir), home.dir / "Documents" / "Tallowick");

    scratch home2;
    fs::create_directory(home2.dir / "Documents");
    auto chosen = choose_savepath(cwd.dir, home2.dir);
    EXPECT_EQ(chosen, home2.dir / "Documents" / "Tallowick");
    EXPECT_TRUE(fs::is_directory(home2.dir / "Documents" / "Tallowick"));
}

TEST(SavePath, MissingDocumentsFolderIsNotCreated) {
    scratch cwd, home;
    EXPECT_EQ(choose_savepath(cwd.dir, home.dir), std::nullopt);
    EXPECT_FALSE(fs::exists(home.dir / "Documents"));
}

TEST(Launch, BackslashesAreDoubledAndALineEndAdded) {
    EXPECT_EQ(interpreter_line("look"), "look\n");
    EXPECT_EQ(interpreter_line(""), "\n");
    EXPECT_EQ(interpreter_line("say \\X hello"), "say \\\\X hello\n");
    EXPECT_EQ(interpreter_line("save\ncastle.sav"), "save\ncastle.sav\n");
}

TEST(Launch, InterpreterOptionsEnvironmentAndFolder) {
    auto o = interpreter_launch("/usr/games/dfrotz", "/s/My \"odd\" $(x).z5", "games");
    EXPECT_EQ(o.argv,
              (std::vector<std::string>{"/usr/games/dfrotz", "-Z0", "-h100", "-u20", "-w100",
                                        "-S100", "-x", "-m", "/s/My \"odd\" $(x).z5"}));
    EXPECT_EQ(o.env, (std::vector<std::string>{"PYTHONUNBUFFERED=1"}));
    EXPECT_EQ(o.cwd, "games");
}

TEST(Launch, InterpreterInTheWorkingFolderComesFirst) {
    scratch cwd;
    cwd.touch("dfrotz");
    EXPECT_EQ(find_interpreter(cwd.dir), fs::absolute(cwd.dir / "dfrotz"));
}

TEST(Launch, ReaderThreadNameFitsLinux) {
    EXPECT_EQ(reader_thread_name("/x/y/tale.z5"), "Reading tale.z5");
    EXPECT_EQ(reader_thread_name("/x/zork1.z5"), "Reading zork1.z");
    // Never cut inside a character: "é" is two bytes.
    EXPECT_EQ(reader_thread_name("/x/abcdefé.z5"), "Reading abcdef");
}

TEST(Launch, StoryFilterListsUpperCaseNamesToo) {
    auto w = story_wildcard();
    EXPECT_EQ(
        w.rfind("ZCode Games|*.z1;*.z2;*.z3;*.z4;*.z5;*.z7;*.z8;*.z6;*.blb;*.blorb;*.zblorb", 0),
        0u);
    EXPECT_NE(w.find("*.Z5"), std::string::npos);
    EXPECT_NE(w.find("*.ZBLORB"), std::string::npos);
}

TEST(Saves, OnlyDotSavNamesSortedByName) {
    scratch d;
    for (auto name : {"tower.sav", "castle.sav", "UPPER.SAV", "notes.txt", "game.z5", "b.sav.bak"})
        d.touch(name);
    fs::create_directory(d.dir / "attic.sav"); // a folder so named is listed like a file
    EXPECT_EQ(list_save_files(d.dir),
              (std::vector<std::string>{"attic.sav", "castle.sav", "tower.sav"}));
    EXPECT_TRUE(list_save_files(d.dir / "missing").empty());
}
