// Memory, file and resource streams: what is written, read and counted,
// positions, and the arrays the program is told the library holds; and the
// names of files, which stay in the folder.
#include "glk/file_names.h"
#include "glk/fileref.h"
#include "glk/library.h"
#include "support.h"

#include <cstdio>

namespace tw::glk {
namespace {

using namespace test;

using retained = std::tuple<void*, glui32, std::string>;
std::vector<retained> taken, given_back;

TEST(GlkStreams, MemoryStreamsCountWhatDoesNotFitAndHoldTheirArray) {
    gidispatch_set_retained_registry(
        [](void* array, glui32 length, char* type) {
            taken.emplace_back(array, length, type);
            return gidispatch_rock_t{};
        },
        [](void* array, glui32 length, char* type, gidispatch_rock_t) {
            given_back.emplace_back(array, length, type);
        });
    char buffer[5] = "----";
    strid_t str = glk_stream_open_memory(buffer, 4, filemode_Write, 7);
    EXPECT_EQ(taken, std::vector{retained(buffer, 4, "&+#!Cn")});
    glk_put_string_stream(str, const_cast<char*>("h\xE9llo"));
    glk_put_char_stream_uni(str, 0x263A);
    stream_result_t result;
    glk_stream_close(str, &result);
    gidispatch_set_retained_registry(nullptr, nullptr);
    EXPECT_EQ(result.writecount, 6u);
    EXPECT_EQ(std::string(buffer), "h\xE9ll");
    EXPECT_EQ(given_back, taken);

    glui32 wide[3] = {};
    str = glk_stream_open_memory_uni(wide, 3, filemode_ReadWrite, 0);
    glk_put_char_stream_uni(str, 0x263A);
    glk_stream_set_position(str, 0, seekmode_Start);
    EXPECT_EQ(glk_get_char_stream(str), '?');
    EXPECT_EQ(glk_stream_get_position(str), 1u);
    glk_stream_set_position(str, -1, seekmode_Current);
    EXPECT_EQ(glk_get_char_stream_uni(str), 0x263A);
    glk_stream_close(str, &result);
    EXPECT_EQ(result.readcount, 2u);
}

TEST(GlkStreams, ReadingLinesBuffersAndThePositionFromTheEnd) {
    char text[] = "one\ntwo\nthree";
    strid_t str = glk_stream_open_memory(text, sizeof text - 1, filemode_Read, 0);
    char line[10];
    EXPECT_EQ(glk_get_line_stream(str, line, sizeof line), 4u);
    EXPECT_STREQ(line, "one\n");
    EXPECT_EQ(glk_get_line_stream(str, line, 3), 2u);
    EXPECT_STREQ(line, "tw");
    glk_stream_set_position(str, -5, seekmode_End);
    EXPECT_EQ(glk_get_buffer_stream(str, line, sizeof line), 5u);
    EXPECT_EQ(std::string(line, 5), "three");
    EXPECT_EQ(glk_get_char_stream(str), -1);
    glk_stream_set_position(str, 100, seekmode_Start); // kept within the data
    EXPECT_EQ(glk_stream_get_position(str), 13u);
    glk_stream_close(str, nullptr);
}

TEST(GlkStreams, TextFilesAreUtf8AndUnicodeBinaryFilesBigEndianWords) {
    // Made at once, in the working folder.
    frefid_t text = glk_fileref_create_temp(fileusage_Data | fileusage_TextMode, 0);
    EXPECT_TRUE(text->path.parent_path().empty());
    EXPECT_TRUE(glk_fileref_does_file_exist(text));
    strid_t str = glk_stream_open_file_uni(text, filemode_Write, 0);
    for (glui32 ch : {0xE9u, 0x263Au, glui32{'\n'}})
        glk_put_char_stream_uni(str, ch);
    glk_stream_close(str, nullptr);
    strid_t append = glk_stream_open_file(text, filemode_WriteAppend, 0);
    glk_put_char_stream(append, 'z');
    glk_stream_close(append, nullptr);
    str = glk_stream_open_file(text, filemode_Read, 0);
    for (glsi32 ch : {0xE9, int{'?'}, int{'\n'}, int{'z'}, -1})
        EXPECT_EQ(glk_get_char_stream(str), ch);
    glk_stream_close(str, nullptr);
    EXPECT_EQ(read_file(text->path), "\xC3\xA9\xE2\x98\xBA\nz");

    frefid_t binary = glk_fileref_create_from_fileref(fileusage_Data, text, 0);
    str = glk_stream_open_file_uni(binary, filemode_Write, 0);
    glk_put_char_stream_uni(str, 0x263A);
    EXPECT_EQ(glk_stream_get_position(str), 1u);
    glk_stream_close(str, nullptr);
    EXPECT_EQ(read_file(binary->path), std::string("\0\0\x26\x3A", 4));
    str = glk_stream_open_file(binary, filemode_ReadWrite, 0); // neither truncates
    char bytes[4];
    EXPECT_EQ(glk_get_buffer_stream(str, bytes, 4), 4u);
    EXPECT_EQ(std::string(bytes, 4), std::string("\0\0\x26\x3A", 4));
    glk_stream_close(str, nullptr);

    glk_fileref_delete_file(text);
    EXPECT_FALSE(glk_fileref_does_file_exist(binary));
    glk_fileref_destroy(text);
    glk_fileref_destroy(binary);
}

TEST(GlkStreams, AFileWrittenReplacesTheOldOnlyWholeAndAFailureIsTold) {
    temp_dir dir;
    auto save = dir / "castle.sav";
    write_file(save, "old save");
    frefid_t fref = library::get().filerefs.add(
        std::make_unique<glk_fileref_struct>(save, fileusage_SavedGame, 0));
    strid_t str = glk_stream_open_file(fref, filemode_Write, 0);
    glk_put_string_stream(str, const_cast<char*>("new"));
    EXPECT_EQ(read_file(save), "old save");
    glk_stream_close(str, nullptr);
    EXPECT_EQ(read_file(save), "new");
    // Read and written: the old file copied, the copy put in place.
    str = glk_stream_open_file(fref, filemode_ReadWrite, 0);
    glk_stream_set_position(str, 2, seekmode_Start);
    glk_put_char_stream(str, 'T');
    EXPECT_EQ(read_file(save), "new");
    glk_stream_close(str, nullptr);
    EXPECT_EQ(read_file(save), "neT");
#ifndef _WIN32
    // The disk fills in each mode, after some was written (a seek flushes
    // it): the old file stays as it was, and each failure is kept to tell.
    auto& failures = library::get().write_failures;
    failures.clear();
    for (glui32 mode : {filemode_Write, filemode_ReadWrite, filemode_WriteAppend}) {
        str = glk_stream_open_file(fref, mode, 0);
        glk_put_string_stream(str, const_cast<char*>("written, "));
        glk_stream_set_position(str, 0, seekmode_Current);
        fill_disk_under(dir.path());
        glk_put_string_stream(str, const_cast<char*>("then no room"));
        glk_stream_close(str, nullptr);
        EXPECT_EQ(read_file(save), "neT") << mode;
    }
    EXPECT_EQ(failures, std::vector<glkote::file_failure>(3, {glkote::file_type::save, "castle.sav",
                                                              glkote::failure_reason::disk_full,
                                                              "No space left on device"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
    failures.clear();
#endif
    glk_fileref_destroy(fref);
}

TEST(GlkStreams, ResourcesAreReadAsTextOrWordsByTheirChunkType) {
    static std::string blorb =
        make_blorb({{"TEXT", "n\u00E9e\nsecond", "Data", 1},
                    {"BINA", std::string("\0\0\x26\x3A\0\0\0A", 8), "Data", 2}});
    strid_t file =
        glk_stream_open_memory(blorb.data(), static_cast<glui32>(blorb.size()), filemode_Read, 0);
    ASSERT_EQ(giblorb_set_resource_map(file), giblorb_err_None);

    strid_t text = glk_stream_open_resource_uni(1, 0);
    glui32 line[10];
    EXPECT_EQ(glk_get_line_stream_uni(text, line, 10), 4u);
    EXPECT_EQ(line[1], 0xE9u);
    glk_stream_close(text, nullptr);
    text = glk_stream_open_resource(1, 0); // bytes, to a Latin-1 stream
    EXPECT_EQ(glk_get_char_stream(text), 'n');
    EXPECT_EQ(glk_get_char_stream(text), 0xC3);
    glk_stream_close(text, nullptr);

    strid_t words = glk_stream_open_resource_uni(2, 0);
    EXPECT_EQ(glk_get_char_stream_uni(words), 0x263A);
    EXPECT_EQ(glk_stream_get_position(words), 1u);
    EXPECT_EQ(glk_get_char_stream_uni(words), 'A');
    EXPECT_EQ(glk_get_char_stream_uni(words), -1);
    glk_stream_close(words, nullptr);
    EXPECT_EQ(glk_stream_open_resource(3, 0), nullptr);
}

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
    frefid_t fref =
        glk_fileref_create_by_name(fileusage_SavedGame, const_cast<char*>("../castle"), 0);
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
