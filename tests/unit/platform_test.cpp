// Where things live: the saves in the save folder (which folder that is, the
// black-box tests see), the settings, the story name given to the interpreter.
#include "core/platform/atomic_file.h"
#include "core/platform/platform.h"
#include "core/platform/settings.h"
#include "core/story/saves.h"
#include "core/story/story_file.h"
#include "core/text/utf8.h"
#include "support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tw {
namespace {

using namespace test;

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

// A Quetzal save whose header chunk holds `header`.
std::string quetzal(const std::string& header) {
    return iff_chunk("FORM", "IFZS" + iff_chunk("IFhd", header));
}

TEST(Saves, AreToldApartByTheGameTheyWereSavedFrom) {
    temp_dir dir;
    const fs::path zcode = binary_dir / "stories" / "lantern.z5";
    const fs::path glulx = binary_dir / "stories" / "lantern.gblorb";
    auto z = read_file(zcode);
    // A Z-code save names its game by release, serial and checksum.
    write_file(dir / "z.sav", quetzal(z.substr(2, 2) + z.substr(0x12, 6) + z.substr(0x1C, 2) +
                                      std::string(3, '\0')));
    EXPECT_EQ(save_misfit(dir / "z.sav", zcode), std::nullopt);
    EXPECT_EQ(save_misfit(dir / "z.sav", glulx),
              "The saved game z.sav was saved in a Z-code game, and cannot be restored in this "
              "one.");
    EXPECT_EQ(save_misfit(dir / "z.sav", binary_dir / "stories" / "plaza.z5"),
              "The saved game z.sav was saved in another game, and cannot be restored in this "
              "one.");
    // A Glulx save by the first 128 bytes of the game, inside its Blorb.
    auto g = read_file(binary_dir / "stories" / "lantern.ulx");
    write_file(dir / "g.sav", quetzal(g.substr(0, 128)));
    EXPECT_EQ(save_misfit(dir / "g.sav", glulx), std::nullopt);
    EXPECT_NE(save_misfit(dir / "g.sav", zcode), std::nullopt);
    write_file(dir / "x.sav", "no save at all");
    EXPECT_EQ(save_misfit(dir / "x.sav", zcode),
              "The file x.sav is not a saved game that Tallowick can restore.");
    EXPECT_EQ(check_story(dir / "x.sav").problem,
              "Tallowick cannot play the file x.sav: it is not a game in any format that "
              "Tallowick knows.");
    // TADS 3 by the game's compile time; Hugo's saves have no mark but the
    // game's id and serial number.
    auto tads3 = std::string("T3-image\r\n\x1a\x02\0", 13) + std::string(32, '\0') + "compiled 2024";
    write_file(dir / "one.t3", tads3 + std::string(30, 'a'));
    write_file(dir / "two.t3", tads3 + std::string(30, 'b'));
    write_file(dir / "t.sav", "T3-state-v000A\r\n\x1a" + std::string(8, '\0') + tads3.substr(45) + std::string(11, 'a'));
    EXPECT_EQ(save_misfit(dir / "t.sav", dir / "one.t3"), std::nullopt);
    EXPECT_NE(save_misfit(dir / "t.sav", dir / "two.t3"), std::nullopt);
    EXPECT_EQ(save_misfit(dir / "t.sav", zcode),
              "The saved game t.sav was saved in a TADS 3 game, and cannot be restored in this one.");
    write_file(dir / "h.hex", std::string("\x1f") + "id05-05-05" + std::string(53, '\0'));
    write_file(dir / "h.sav", "id05-05-05 state");
    EXPECT_EQ(save_misfit(dir / "h.sav", dir / "h.hex"), std::nullopt);
    EXPECT_NE(save_misfit(dir / "x.sav", dir / "h.hex"), std::nullopt);
    // TADS 2 by the compile time our Canal Lock keeps at byte 22, in a save
    // that names its game first, as the interpreter writes it.
    const fs::path tads2 = binary_dir / "stories" / "canallock.gam";
    write_file(dir / "c.sav", std::string("TADS2 save/g\n\r\x1a\0\x04\0c.gam", 22) +
                                  std::string("TADS2 save\n\r\x1a\0v2.2.1\0", 21) +
                                  read_file(tads2).substr(22, 26));
    EXPECT_EQ(save_misfit(dir / "c.sav", tads2), std::nullopt);
    EXPECT_NE(save_misfit(dir / "c.sav", dir / "one.t3"), std::nullopt);
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
    EXPECT_FALSE(load_settings(file, problem).speech_rate_offset);
    ASSERT_TRUE(save_settings(file, {-30, 14, std::nullopt, true, false, -3}));
    auto fields = [&] {
        auto s = load_settings(file, problem);
        return std::tuple(s.speech_rate_offset, s.text_size, s.speech_rate, s.braille,
                          s.game_sounds, s.sound_level, s.sound_descriptions);
    };
    using o = std::optional<int>;
    EXPECT_EQ(fields(), std::tuple(o(-30), o(14), o(), true, std::optional(false), o(-3),
                                   std::optional<bool>()));
    EXPECT_TRUE(problem.empty());
    // A layer that changes its own settings leaves the others' as they were.
    ASSERT_TRUE(update_settings(file, [](player_settings& s) { s.sound_descriptions = false; }));
    EXPECT_EQ(fields(), std::tuple(o(-30), o(14), o(), true, std::optional(false), o(-3),
                                   std::optional(false)));
    write_file(file, "{\"speech_rate_offset\": ");
    EXPECT_FALSE(load_settings(file, problem).speech_rate_offset);
    EXPECT_NE(problem.find("could not be read"), std::string::npos);
}

TEST(AtomicFile, TheOldFileStaysWholeUntilTheNewOneIsWholeAndNothingIsLeftBeside) {
    temp_dir dir;
    write_file(dir / "castle.sav", "old");
    {
        atomic_file file(dir / "castle.sav");
        ASSERT_TRUE(file.write("new ") && file.write("save"));
        EXPECT_EQ(read_file(dir / "castle.sav"), "old");
        EXPECT_TRUE(file.commit());
    }
    EXPECT_EQ(read_file(dir / "castle.sav"), "new save");
    {
        atomic_file abandoned(dir / "castle.sav"); // never committed
        abandoned.write("lost");
    }
    // A rename the system refuses: over a folder that holds something.
    fs::create_directories(dir / "folder/inside");
    atomic_file refused(dir / "folder");
    refused.write("x");
    EXPECT_FALSE(refused.commit());
    EXPECT_TRUE(refused.error());
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"castle.sav", "folder"}));
    EXPECT_EQ(read_file(dir / "castle.sav"), "new save");
    atomic_file nowhere(dir / "missing/castle.sav");
    EXPECT_EQ(nowhere.file(), nullptr);
    EXPECT_FALSE(nowhere.commit());
    EXPECT_EQ(nowhere.error(), std::errc::no_such_file_or_directory);
}

#ifndef _WIN32
TEST(AtomicFile, AFullDiskKeepsTheOldFileAndSaysSo) {
    temp_dir dir;
    write_file(dir / "castle.sav", "old");
    atomic_file file(dir / "castle.sav");
    file.write("a save that will not fit");
    fill_disk_under(dir.path());
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(file.error(), std::errc::no_space_on_device);
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"castle.sav"});
    EXPECT_EQ(read_file(dir / "castle.sav"), "old");
}
#endif

// An old rate heard as before, as the screen reader's less the new offset,
// and written back as that offset alone: test_speech.
TEST(Settings, AnOldRateOfItsOwnBecomesAnOffsetFromTheScreenReadersRate) {
    // Without a screen reader's rate, the service's default 0 is the base.
    player_settings alone{std::nullopt, std::nullopt, -20};
    EXPECT_TRUE(adopt_old_speech_rate(alone, std::nullopt));
    EXPECT_EQ(alone.speech_rate_offset, -20);
    EXPECT_FALSE(adopt_old_speech_rate(alone, std::nullopt));
    // An offset written later wins over an old rate beside it.
    player_settings both{5, std::nullopt, 70};
    EXPECT_TRUE(adopt_old_speech_rate(both, 0));
    EXPECT_EQ(both.speech_rate_offset, 5);
    EXPECT_FALSE(both.speech_rate);
}

} // namespace
} // namespace tw
