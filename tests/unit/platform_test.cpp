// Where things live: the save folder and the saves in it.
#include "core/platform/platform.h"
#include "core/platform/save_folder.h"
#include "core/platform/settings.h"
#include "core/story/saves.h"
#include "core/text/utf8.h"
#include "support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tw {
namespace {

using namespace test;

TEST(SaveFolder, IsGamesBesideAPortableCopyElseMadeInDocuments) {
    temp_dir dir;
    fs::create_directories(dir / "cwd/games");
    fs::create_directories(dir / "docs");
    EXPECT_EQ(choose_save_folder(dir / "cwd", dir / "docs"), fs::path("games"));
    EXPECT_FALSE(fs::exists(dir / "docs/Tallowick"));
    fs::remove(dir / "cwd/games");
    EXPECT_EQ(choose_save_folder(dir / "cwd", dir / "docs"), dir / "docs/Tallowick");
    EXPECT_TRUE(fs::is_directory(dir / "docs/Tallowick"));
    // Only the last folder is made: no documents folder, no save folder.
    EXPECT_EQ(choose_save_folder(dir / "cwd", dir / "none"), std::nullopt);
    EXPECT_FALSE(fs::exists(dir / "none"));
}

TEST(Saves, AreListedByTheirNamesWhicheverInterpreterWroteThem) {
    temp_dir dir;
    for (auto name : {"b.sav.qzl", "a.sav", "a.sav.qzl", "c.SAV", "story.z5", "x.qzl", "sav"})
        write_file(dir / name, name);
    fs::create_directory(dir / "d.sav");
    EXPECT_EQ(list_save_files(dir.path()), (std::vector<std::string>{"a.sav", "b.sav", "d.sav"}));
    EXPECT_TRUE(list_save_files(dir / "missing").empty());
    // A save that an earlier interpreter wrote as .sav.qzl stays playable.
    prepare_restore(dir.path(), "b.sav");
    prepare_restore(dir.path(), "a.sav");
    EXPECT_EQ(read_file(dir / "b.sav"), "b.sav.qzl");
    EXPECT_EQ(read_file(dir / "a.sav"), "a.sav");
}

TEST(Platform, TheInterpreterIsGivenAStoryNameItCanOpen) {
    temp_dir dir;
    std::string problem;
    // Greek fits no Western code page; on Windows its 8.3 name stands in.
    for (const char* name :
         {"Lantern Hall.z5", "\xce\xa6\xce\xb1\xce\xbd\xce\xac\xcf\x81\xce\xb9.z5"}) {
        write_file(dir / path_from_utf8(name), name);
        auto given = interpreter_story_path(dir / path_from_utf8(name), problem);
        ASSERT_TRUE(given) << problem;
#ifdef _WIN32 // as dfrotz opens it: by its name in the ANSI code page
        char ansi[4 * MAX_PATH];
        WideCharToMultiByte(CP_ACP, 0, given->c_str(), -1, ansi, sizeof ansi, nullptr, nullptr);
        std::ifstream in(ansi, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), name);
#else
        EXPECT_EQ(read_file(*given), name);
#endif
    }
}

TEST(Settings, AreRememberedAndADamagedFileIsNoHarm) {
    temp_dir dir;
    auto file = dir / "config/tallowick/settings.json";
    std::string problem;
    EXPECT_FALSE(load_settings(file, problem).speech_rate);
    ASSERT_TRUE(save_settings(file, {30, 14}));
    auto back = load_settings(file, problem);
    EXPECT_EQ(back.speech_rate, 30);
    EXPECT_EQ(back.text_size, 14);
    EXPECT_TRUE(problem.empty());
    write_file(file, "{\"speech_rate\": ");
    EXPECT_FALSE(load_settings(file, problem).speech_rate);
    EXPECT_NE(problem.find("could not be read"), std::string::npos);
}

} // namespace
} // namespace tw
