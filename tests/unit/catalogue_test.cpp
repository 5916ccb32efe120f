// The game catalogue: parsing games.json, finding it, and the file names
// that downloaded games get.
#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <fstream>
#include <string>

namespace tw {
namespace {

namespace fs = std::filesystem;

const fs::path data_dir = fs::path(TALLOWICK_SOURCE_DIR) / "tests" / "data" / "catalogue";

// A fresh directory under the system's temporary directory, removed at the
// end of the test.
class temp_dir {
  public:
    temp_dir() {
        std::string pattern = (fs::temp_directory_path() / "tallowick-catalogue-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp");
        path = pattern;
    }
    ~temp_dir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    fs::path path;
};

void write_file(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

bool is_utf8_boundary_clean(const std::string& s) {
    // Every lead byte is followed by exactly its continuation bytes.
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        if ((b & 0xC0) == 0x80 || i + len > s.size())
            return false;
        for (size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += len;
    }
    return true;
}

// ---- parsing ---------------------------------------------------------------

TEST(CatalogueParse, KeepsFileOrderAndBuildsChooserLines) {
    auto cat = parse_catalogue(R"({
        "Zebra Cove": ["Stripes.", "Z. Author", "http://h/z.z5"],
        "Apple Yard": ["Fruit.", "A. Author", "http://h/a.z8"],
        "Mango Hill": ["Sweet.", "M. Author", "http://h/m.zblorb"]
    })");
    ASSERT_TRUE(cat.ok()) << cat.error;
    ASSERT_EQ(cat.entries.size(), 3u);
    EXPECT_EQ(cat.entries[0].title, "Zebra Cove");
    EXPECT_EQ(cat.entries[1].title, "Apple Yard");
    EXPECT_EQ(cat.entries[2].title, "Mango Hill");
    auto lines = chooser_lines(cat);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Zebra Cove by Z. Author: Stripes.");
    EXPECT_EQ(lines[1], "Apple Yard by A. Author: Fruit.");
    EXPECT_EQ(lines[2], "Mango Hill by M. Author: Sweet.");
    EXPECT_EQ(cat.entries[2].uri, "http://h/m.zblorb");
}

TEST(CatalogueParse, IgnoresFurtherElements) {
    auto cat = parse_catalogue(R"({"A": ["d", "w", "http://h/a.z5", "more", 7, {"x": 1}, null]})");
    ASSERT_TRUE(cat.ok()) << cat.error;
    ASSERT_EQ(cat.entries.size(), 1u);
    EXPECT_EQ(cat.entries[0].line(), "A by w: d");
    EXPECT_EQ(cat.entries[0].uri, "http://h/a.z5");
}

TEST(CatalogueParse, FaultyAddressMattersOnlyForTheChosenEntry) {
    auto cat = parse_catalogue(R"({
        "Good": ["d", "w", "http://h/good.z5"],
        "Number": ["d", "w", 12],
        "Missing": ["d", "w"],
        "Empty": ["d", "w", ""],
        "Null": ["d", "w", null]
    })");
    ASSERT_TRUE(cat.ok()) << cat.error;
    ASSERT_EQ(cat.entries.size(), 5u);

    temp_dir dir;
    auto good = locate_game(cat.entries[0], dir.path);
    ASSERT_TRUE(good.ok()) << good.error;
    EXPECT_EQ(good.uri, "http://h/good.z5");
    EXPECT_EQ(good.file, "Good.z5");
    EXPECT_EQ(good.path, dir.path / "Good.z5");

    for (size_t i = 1; i < cat.entries.size(); ++i) {
        auto bad = locate_game(cat.entries[i], dir.path);
        EXPECT_FALSE(bad.ok()) << cat.entries[i].title;
        EXPECT_EQ(bad.error, "The download address of the catalogue entry \"" +
                                 cat.entries[i].title + "\" is missing or is not text.");
        EXPECT_TRUE(bad.path.empty());
    }
}

TEST(CatalogueParse, MalformedJsonNamesLineAndColumn) {
    auto cat = parse_catalogue("{\n  \"A\": [\"d\", \"w\", \"u\"],\n  \"B\": [oops]\n}\n");
    EXPECT_FALSE(cat.ok());
    EXPECT_TRUE(cat.entries.empty());
    EXPECT_EQ(cat.error.rfind("The game catalogue could not be read: line 3, column ", 0), 0u)
        << cat.error;
    EXPECT_NE(cat.error.find("invalid literal"), std::string::npos) << cat.error;
    EXPECT_EQ(cat.error.back(), '.');
    EXPECT_EQ(cat.error.find("json.exception"), std::string::npos) << cat.error;
}

TEST(CatalogueParse, EmptyTextIsMalformed) {
    auto cat = parse_catalogue("");
    EXPECT_FALSE(cat.ok());
    EXPECT_EQ(cat.error.rfind("The game catalogue could not be read: line 1, column 1: ", 0), 0u)
        << cat.error;
}

TEST(CatalogueParse, InvalidUtf8GivesAReadableMessage) {
    auto cat = parse_catalogue("{\"A\xff\": [\"d\", \"w\", \"u\"]}");
    EXPECT_FALSE(cat.ok());
    EXPECT_TRUE(is_utf8_boundary_clean(cat.error)) << cat.error;
}

TEST(CatalogueParse, TopLevelMustBeAnObject) {
    for (const char* text : {"[]", "[[\"d\", \"w\", \"u\"]]", "\"games\"", "42", "null"}) {
        auto cat = parse_catalogue(text);
        EXPECT_EQ(cat.error, "The game catalogue is not a JSON object of games.") << text;
        EXPECT_TRUE(cat.entries.empty());
    }
}

TEST(CatalogueParse, EmptyCatalogue) {
    auto cat = parse_catalogue("  { }  ");
    EXPECT_EQ(cat.error, "The game catalogue lists no games.");
}

TEST(CatalogueParse, EntryMustBeAnArray) {
    auto cat = parse_catalogue(R"({"Good": ["d", "w", "u"], "Odd One": {"d": "w"}})");
    EXPECT_EQ(cat.error, "The catalogue entry \"Odd One\" is not a list of description, author "
                         "and download address.");
    EXPECT_TRUE(cat.entries.empty());
    cat = parse_catalogue(R"({"Text": "just words"})");
    EXPECT_EQ(cat.error, "The catalogue entry \"Text\" is not a list of description, author and "
                         "download address.");
}

TEST(CatalogueParse, DescriptionMustBeText) {
    for (const char* text : {R"({"X": []})", R"({"X": [1, "w", "u"]})", R"({"X": [null]})",
                             R"({"X": [["d"], "w"]})"}) {
        auto cat = parse_catalogue(text);
        EXPECT_EQ(cat.error,
                  "The catalogue entry \"X\" has no description, or its description is not text.")
            << text;
    }
}

TEST(CatalogueParse, AuthorMustBeText) {
    for (const char* text :
         {R"({"X": ["d"]})", R"({"X": ["d", 5, "u"]})", R"({"X": ["d", false]})"}) {
        auto cat = parse_catalogue(text);
        EXPECT_EQ(cat.error, "The catalogue entry \"X\" has no author, or its author is not text.")
            << text;
    }
}

TEST(CatalogueParse, AFaultyEntryFailsTheWholeCatalogueEvenAtTheEnd) {
    auto cat = parse_catalogue(R"({"A": ["d", "w", "u"], "B": ["d", "w", "u"], "Last": ["d"]})");
    EXPECT_FALSE(cat.ok());
    EXPECT_TRUE(cat.entries.empty());
    EXPECT_NE(cat.error.find("\"Last\""), std::string::npos);
}

TEST(CatalogueParse, DuplicateTitlesKeepOnePlace) {
    // nlohmann keeps the first position and the last value.
    auto cat = parse_catalogue(
        R"({"A": ["one", "w", "u"], "B": ["b", "w", "u"], "A": ["two", "w", "u"]})");
    ASSERT_TRUE(cat.ok()) << cat.error;
    ASSERT_EQ(cat.entries.size(), 2u);
    EXPECT_EQ(cat.entries[0].title, "A");
    EXPECT_EQ(cat.entries[1].title, "B");
}

// ---- files -------------------------------------------------------------------

TEST(CatalogueFile, LoadsTheSampleFile) {
    auto cat = load_catalogue(data_dir / "games.json");
    ASSERT_TRUE(cat.ok()) << cat.error;
    ASSERT_EQ(cat.entries.size(), 3u);
    EXPECT_EQ(cat.entries[0].line(),
              "Lantern Hall by R. Marsh: A night in an old house with one lamp.");
    EXPECT_EQ(cat.entries[1].line(),
              "Château Noir by Élodie Brun: Wine, cellars and a missing key.");
    EXPECT_EQ(cat.entries[2].title, "Quiet Harbour");
}

TEST(CatalogueFile, MalformedFile) {
    auto cat = load_catalogue(data_dir / "malformed.json");
    EXPECT_EQ(cat.error.rfind("The game catalogue could not be read: line 3, column ", 0), 0u)
        << cat.error;
}

TEST(CatalogueFile, MissingFile) {
    temp_dir dir;
    auto cat = load_catalogue(dir.path / "games.json");
    EXPECT_FALSE(cat.ok());
    EXPECT_EQ(cat.error,
              "The game catalogue " + (dir.path / "games.json").string() + " was not found.");
}

TEST(CatalogueFile, DirectoryIsNotAFile) {
    temp_dir dir;
    fs::create_directory(dir.path / "games.json");
    auto cat = load_catalogue(dir.path / "games.json");
    EXPECT_FALSE(cat.ok());
    EXPECT_NE(cat.error.find("was not found"), std::string::npos);
}

TEST(CatalogueFile, UnreadableFile) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    temp_dir dir;
    auto file = dir.path / "games.json";
    write_file(file, R"({"A": ["d", "w", "u"]})");
    fs::permissions(file, fs::perms::none);
    auto cat = load_catalogue(file);
    EXPECT_EQ(cat.error, "The game catalogue " + file.string() + " could not be read.");
}

TEST(CatalogueFind, PrefersTheWorkingDirectory) {
    temp_dir dir;
    auto cwd = dir.path / "cwd";
    auto bin = dir.path / "prefix" / "bin";
    write_file(cwd / "games.json", "{}");
    write_file(bin / "games.json", "{}");
    write_file(dir.path / "prefix" / "share" / "tallowick" / "games.json", "{}");
    EXPECT_EQ(find_catalogue(cwd, bin), cwd / "games.json");
}

TEST(CatalogueFind, ThenBesideTheProgram) {
    temp_dir dir;
    auto cwd = dir.path / "cwd";
    auto bin = dir.path / "prefix" / "bin";
    fs::create_directories(cwd);
    write_file(bin / "games.json", "{}");
    write_file(dir.path / "prefix" / "share" / "tallowick" / "games.json", "{}");
    EXPECT_EQ(find_catalogue(cwd, bin), bin / "games.json");
}

TEST(CatalogueFind, ThenInTheDataDirectory) {
    temp_dir dir;
    auto cwd = dir.path / "cwd";
    auto bin = dir.path / "prefix" / "bin";
    fs::create_directories(cwd);
    fs::create_directories(bin);
    auto shared = dir.path / "prefix" / "share" / "tallowick" / "games.json";
    write_file(shared, "{}");
    EXPECT_EQ(find_catalogue(cwd, bin), shared);
    // A trailing separator on the program's directory changes nothing.
    auto found = find_catalogue(cwd, bin / "");
    ASSERT_TRUE(found);
    EXPECT_TRUE(fs::equivalent(*found, shared));
}

TEST(CatalogueFind, NowhereOrOnlyDirectories) {
    temp_dir dir;
    auto cwd = dir.path / "cwd";
    auto bin = dir.path / "prefix" / "bin";
    fs::create_directories(cwd / "games.json");
    fs::create_directories(bin);
    EXPECT_EQ(find_catalogue(cwd, bin), std::nullopt);
    EXPECT_EQ(find_catalogue({}, {}), std::nullopt);
}

TEST(CatalogueFind, ProgramDirectoryIsThisTestsDirectory) {
    auto dir = program_directory();
    ASSERT_FALSE(dir.empty());
    EXPECT_TRUE(fs::exists(dir / "unit_tests")) << dir;
}

// ---- file names --------------------------------------------------------------

TEST(CatalogueFileName, TitleAndExtension) {
    EXPECT_EQ(local_file_name("Lantern Hall", "https://h/x/lantern.z5"), "Lantern Hall.z5");
    EXPECT_EQ(local_file_name("Harbour", "https://h/x/harbour.zblorb"), "Harbour.zblorb");
    EXPECT_EQ(local_file_name("Upper", "https://h/GAME.Z8"), "Upper.Z8");
}

TEST(CatalogueFileName, ExtensionComesFromTheLastPathSegmentOnly) {
    EXPECT_EQ(uri_extension("http://h/a.b/c"), "");
    EXPECT_EQ(local_file_name("Game", "http://h/a.b/c"), "Game");
    EXPECT_EQ(uri_extension("http://h/x.z5?y=1.2#f.g"), "z5");
    EXPECT_EQ(local_file_name("Game", "http://h/x.z5?y=1.2#f.g"), "Game.z5");
    EXPECT_EQ(uri_extension("http://h/x?y=1.2"), "");
    EXPECT_EQ(uri_extension("http://h/x#f.g"), "");
    EXPECT_EQ(uri_extension("http://host.example.org"), "");
    EXPECT_EQ(uri_extension("http://host.example.org/"), "");
    EXPECT_EQ(uri_extension("http://h/dir.d/"), "");
    EXPECT_EQ(uri_extension("http://h/nodot"), "");
    EXPECT_EQ(uri_extension("http://h/trailing."), "");
    EXPECT_EQ(uri_extension("http://h/a.tar.gz"), "gz");
    EXPECT_EQ(uri_extension("http://h/story%2Ez5"), "z5");
    EXPECT_EQ(local_file_name("Game", "no-dots-at-all"), "Game");
}

TEST(CatalogueFileName, ExtensionIsSanitised) {
    EXPECT_EQ(uri_extension("http://h/x.z5%2F..%2F..%2Fetc"), "");
    EXPECT_EQ(uri_extension("http://h/x.z 5"), "");
    EXPECT_EQ(uri_extension("http://h/x.verylongextension"), "");
    EXPECT_EQ(uri_extension("http://h/x.%00"), "");
    EXPECT_EQ(local_file_name("Game", "http://h/x.a:b"), "Game");
}

TEST(CatalogueFileName, TitleThatEndsInTheExtensionGetsItOnce) {
    EXPECT_EQ(local_file_name("lantern.z5", "http://h/lantern.z5"), "lantern.z5");
    EXPECT_EQ(local_file_name("Game.Z5", "http://h/g.z5"), "Game.Z5");
}

TEST(CatalogueFileName, SeparatorsAndReservedCharactersAreReplaced) {
    EXPECT_EQ(local_file_name("../../x", "http://h/x.z5"), "_.._x.z5");
    EXPECT_EQ(local_file_name("/etc/x", "http://h/x.z5"), "_etc_x.z5");
    EXPECT_EQ(local_file_name("a\\b", "http://h/x.z5"), "a_b.z5");
    EXPECT_EQ(local_file_name("Chapter 1: The *Start*?", "http://h/x.z5"),
              "Chapter 1_ The _Start__.z5");
    EXPECT_EQ(local_file_name("<\"quoted\"|piped>", "http://h/x.z5"), "__quoted__piped_.z5");
    EXPECT_EQ(local_file_name("tab\there\nnew\x7f"
                              "del",
                              "http://h/x.z5"),
              "tab_here_new_del.z5");
    EXPECT_EQ(local_file_name(std::string("nul\0byte", 8), "http://h/x.z5"), "nul_byte.z5");
    EXPECT_EQ(local_file_name("c1\xc2\x85mark", "http://h/x.z5"), "c1_mark.z5");
    EXPECT_EQ(local_file_name("bad\xff"
                              "byte",
                              "http://h/x.z5"),
              "bad_byte.z5");
}

TEST(CatalogueFileName, NeverEmptyDotOrHidden) {
    EXPECT_EQ(local_file_name("", "http://h/x.z5"), "game.z5");
    EXPECT_EQ(local_file_name("", "http://h/x"), "game");
    EXPECT_EQ(local_file_name(".", "http://h/x"), "game");
    EXPECT_EQ(local_file_name("..", "http://h/x"), "game");
    EXPECT_EQ(local_file_name("...", "http://h/x.z5"), "game.z5");
    EXPECT_EQ(local_file_name("   ", "http://h/x.z5"), "game.z5");
    EXPECT_EQ(local_file_name(".hidden", "http://h/x.z5"), "hidden.z5");
    EXPECT_EQ(local_file_name(" . .profile", "http://h/x"), "profile");
    EXPECT_EQ(local_file_name("Trailing dots...", "http://h/x"), "Trailing dots");
    EXPECT_EQ(local_file_name("Trailing dots. . ", "http://h/x.z5"), "Trailing dots.z5");
}

TEST(CatalogueFileName, WindowsDeviceNamesAreAvoided) {
    EXPECT_EQ(local_file_name("CON", "http://h/x.z5"), "_CON.z5");
    EXPECT_EQ(local_file_name("nul", "http://h/x"), "_nul");
    EXPECT_EQ(local_file_name("Com1", "http://h/x.z5"), "_Com1.z5");
    EXPECT_EQ(local_file_name("lpt9.txt", "http://h/x.z5"), "_lpt9.txt.z5");
    EXPECT_EQ(local_file_name("Console", "http://h/x.z5"), "Console.z5");
}

TEST(CatalogueFileName, NonAsciiLettersAreKept) {
    EXPECT_EQ(local_file_name("Château", "http://h/c.z5"), "Château.z5");
    EXPECT_EQ(local_file_name("Привет мир", "http://h/c.z8"), "Привет мир.z8");
    EXPECT_EQ(local_file_name("夜の図書館", "http://h/c.zblorb"), "夜の図書館.zblorb");
}

TEST(CatalogueFileName, LongTitlesAreCutAtACharacterBoundary) {
    std::string ascii(500, 'a');
    auto name = local_file_name(ascii, "http://h/x.z5");
    EXPECT_EQ(name.size(), max_file_name);
    EXPECT_EQ(name, std::string(max_file_name - 3, 'a') + ".z5");

    // Two-byte letters around the cut: the name must not end in half a letter.
    for (size_t pad = 0; pad < 4; ++pad) {
        std::string title = std::string(pad, 'x');
        for (int i = 0; i < 200; ++i)
            title += "é";
        auto cut = local_file_name(title, "http://h/x.zblorb");
        EXPECT_LE(cut.size(), max_file_name);
        EXPECT_GE(cut.size(), max_file_name - 4);
        EXPECT_TRUE(is_utf8_boundary_clean(cut)) << pad;
        EXPECT_EQ(cut.substr(cut.size() - 7), ".zblorb");
    }
    // Four-byte characters, no extension.
    std::string emoji;
    for (int i = 0; i < 100; ++i)
        emoji += "\xF0\x9F\x8E\xB2";
    auto e = local_file_name(emoji, "http://h/x");
    EXPECT_LE(e.size(), max_file_name);
    EXPECT_EQ(e.size() % 4, 0u);
    EXPECT_TRUE(is_utf8_boundary_clean(e));
}

TEST(CatalogueFileName, CutDoesNotLeaveATrailingDot) {
    std::string title = std::string(max_file_name - 4, 'a') + ". tail";
    auto name = local_file_name(title, "http://h/x.z5");
    EXPECT_EQ(name, std::string(max_file_name - 4, 'a') + ".z5");
}

TEST(CatalogueLocate, PathIsAlwaysDirectlyInsideTheSaveDirectory) {
    temp_dir dir;
    const char* titles[] = {"../../x",        "/etc/x",    "a\\b",     "..",      ".",  "",
                            "C:\\Windows\\x", "x/../../y", "\x01\x02", "Château", "~/x"};
    const char* uris[] = {"http://h/x.z5",
                          "http://h/a.b/c",
                          "http://h/x.z5?y=1.2#f.g",
                          "http://h/..",
                          "http://h/%2E%2E%2F%2E%2E%2Fetc",
                          "nothing"};
    for (const char* title : titles) {
        for (const char* uri : uris) {
            catalogue_entry entry{title, "d", "w", std::string(uri)};
            auto where = locate_game(entry, dir.path);
            ASSERT_TRUE(where.ok()) << where.error;
            EXPECT_EQ(where.path.parent_path(), dir.path) << title << " " << uri;
            EXPECT_EQ(where.path.lexically_normal().parent_path(), dir.path.lexically_normal());
            EXPECT_EQ(where.path.filename().string(), where.file);
            EXPECT_NE(where.file, "");
            EXPECT_NE(where.file, ".");
            EXPECT_NE(where.file, "..");
            EXPECT_NE(where.file[0], '.');
            EXPECT_EQ(where.file.find('/'), std::string::npos);
            EXPECT_EQ(where.uri, uri);
        }
    }
}

TEST(CatalogueLocate, RelativeSaveDirectory) {
    catalogue_entry entry{"Lantern Hall", "d", "w", std::string("https://h/x/lantern.z5")};
    auto where = locate_game(entry, "saves");
    ASSERT_TRUE(where.ok()) << where.error;
    EXPECT_EQ(where.path, fs::path("saves") / "Lantern Hall.z5");
}

TEST(CatalogueLocate, AnExistingFileIsFoundAtTheDerivedPath) {
    // database_ui skips the download when this path exists; the same path
    // is then launched.
    temp_dir dir;
    auto cat = load_catalogue(data_dir / "games.json");
    ASSERT_TRUE(cat.ok()) << cat.error;
    write_file(dir.path / "Château Noir.z8", "story");
    auto where = locate_game(cat.entries[1], dir.path);
    ASSERT_TRUE(where.ok()) << where.error;
    EXPECT_EQ(where.file, "Château Noir.z8");
    EXPECT_EQ(where.path, dir.path / "Château Noir.z8");
    EXPECT_TRUE(fs::exists(where.path));

    auto other = locate_game(cat.entries[0], dir.path);
    ASSERT_TRUE(other.ok());
    EXPECT_FALSE(fs::exists(other.path));
}

} // namespace
} // namespace tw
