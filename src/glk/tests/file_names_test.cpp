// The names of files a game or the player asks for stay in the folder.
#include "glk/file_names.h"
#include "support.h"

#include <cstdio>

namespace tw::glk {
namespace {

using namespace test;

TEST(GlkFileNames, GameNamesGetTheUsagesExtensionAndCannotLeaveTheFolderOrNameADevice) {
    EXPECT_EQ(game_file_name("savedata", fileusage_Data), "savedata.glkdata");
    EXPECT_EQ(game_file_name("game", fileusage_SavedGame), "game.glksave");
    EXPECT_EQ(game_file_name("script", fileusage_Transcript | fileusage_TextMode), "script.txt");
    EXPECT_EQ(game_file_name("commands", fileusage_InputRecord), "commands.txt");
    EXPECT_EQ(game_file_name("notes.dat", fileusage_Data), "notes.dat");
    EXPECT_EQ(game_file_name("café", fileusage_Data), "café.glkdata");
    EXPECT_EQ(game_file_name("../../etc/passwd", fileusage_Data), "etcpasswd.glkdata");
    EXPECT_EQ(game_file_name("C:\\x:y*?\"<>|\x01z", fileusage_Data), "Cxyz.glkdata");
    EXPECT_EQ(game_file_name("a..b", fileusage_Data), "a.b");
    EXPECT_EQ(game_file_name(".hidden", fileusage_Data), "hidden.glkdata");
    EXPECT_EQ(game_file_name("name. . ", fileusage_Data), "name.glkdata");
    EXPECT_EQ(game_file_name("...", fileusage_Data), "null.glkdata");
    EXPECT_EQ(game_file_name("COM1", fileusage_Data), "_COM1.glkdata");
    EXPECT_EQ(game_file_name("nul.txt", fileusage_Data), "_nul.txt");
    // Long names are cut at a character's start.
    std::string long_name(151, 'x');
    for (int i = 0; i < 100; ++i)
        long_name += "é";
    auto cut = game_file_name(long_name, fileusage_Data);
    EXPECT_EQ(cut.size(), 151 + 24 * 2 + 8u);
    EXPECT_TRUE(cut.ends_with("éé.glkdata"));
}

TEST(GlkFileNames, PromptedNamesAreTakenAsGivenUnlessTheyCouldLeaveTheFolder) {
    EXPECT_EQ(prompted_file_name("hall one.sav"), "hall one.sav");
    EXPECT_EQ(prompted_file_name("no extension"), "no extension");
    for (const char* refused : {"", ".", "..", "../up", "a/b", "a\\b", "C:x", "two\nlines"})
        EXPECT_FALSE(prompted_file_name(refused)) << refused;
}

TEST(GlkFileNames, InterpretersThatWriteFilesThemselvesAreGivenTheWholePathInTheFolder) {
    // TADS, AGiliTy and Alan 2 fopen() the name; TADS 3 would take a
    // relative one as the story's folder's.
    temp_dir dir;
    auto was = fs::current_path();
    fs::current_path(dir.path());
    frefid_t fref = glk_fileref_create_by_name(fileusage_SavedGame, const_cast<char*>("../castle"), 0);
    const char* name = glkunix_fileref_get_filename(fref);
    EXPECT_EQ(glkunix_fileref_get_filename(fref), name); // as long as the reference lives
    EXPECT_TRUE(fs::path(name).is_absolute());
    std::FILE* file = std::fopen(name, "w");
    ASSERT_TRUE(file);
    std::fclose(file);
    EXPECT_TRUE(glk_fileref_does_file_exist(fref));
    EXPECT_TRUE(fs::equivalent(name, dir / "castle.glksave"));
    glk_fileref_destroy(fref);
    fs::current_path(was);
}

} // namespace
} // namespace tw::glk
