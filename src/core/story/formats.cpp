#include "core/story/formats.h"

#include "core/story/babel.h"
#include "core/text/utf8.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tw {
namespace {

// Whether `bytes` hold `text` at `at`.
bool holds(file_bytes bytes, std::size_t at, std::string_view text) {
    return bytes.size() >= at + text.size() &&
           std::memcmp(bytes.data() + at, text.data(), text.size()) == 0;
}

// Whether `a` at `a_at` and `b` at `b_at` hold the same `length` bytes.
bool same(file_bytes a, std::size_t a_at, file_bytes b, std::size_t b_at, std::size_t length) {
    return a.size() >= a_at + length && b.size() >= b_at + length &&
           std::memcmp(a.data() + a_at, b.data() + b_at, length) == 0;
}

// The formats babel knows, by its modules' own claims.
template <babel::treaty module> bool babel_claims(file_bytes story) {
    return babel::ask(module, babel::claim, story) == babel::valid;
}

// Alan's module knows both: Alan 3 by its mark and a checksum of the whole
// file; Alan 2, which has no mark, by the checksum and fifteen addresses
// inside the file.
bool alan3_game(file_bytes story) {
    return holds(story, 0, "ALAN") && babel_claims<alan_treaty>(story);
}
bool alan2_game(file_bytes story) {
    return !holds(story, 0, "ALAN") && babel_claims<alan_treaty>(story);
}

// Level 9 games carry no mark: its module knows a game by the structures it
// finds in it, and says "no reply" for one it finds but does not know by name.
bool level9_game(file_bytes story) {
    return babel::ask(level9_treaty, babel::claim, story) >= babel::no_reply;
}

// ADRIFT's version, as its module reads it (400 for 4.00); 0 for no
// ADRIFT game. SCARE plays those before ADRIFT 5.
int adrift_version(file_bytes story) {
    char id[32] = {};
    if (babel::ask(adrift_treaty, babel::identify, story, id, sizeof id) != babel::incomplete)
        return 0;
    return std::atoi(id + std::strlen("ADRIFT-"));
}
bool adrift_before_5(file_bytes story) {
    auto version = adrift_version(story);
    return version > 0 && version < 500;
}
bool adrift_5(file_bytes story) {
    return adrift_version(story) >= 500;
}

// Numbers as C's scanf reads them: blanks, then an optional sign and digits.
class number_reader {
  public:
    explicit number_reader(file_bytes bytes)
        : text(reinterpret_cast<const char*>(bytes.data()), bytes.size()) {}
    bool blank() const { return at < text.size() && std::strchr(" \t\r\n\v\f", text[at]); }
    void skip_blanks() {
        while (blank())
            ++at;
    }
    bool next(long& number) {
        skip_blanks();
        bool negative = at < text.size() && text[at] == '-';
        auto digits = at + negative;
        auto end = digits;
        number = 0;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9' && number < 1000000)
            number = number * 10 + (text[end++] - '0');
        if (end == digits)
            return false;
        at = end;
        number = negative ? -number : number;
        return true;
    }
    bool take(char c) {
        if (at >= text.size() || text[at] != c)
            return false;
        ++at;
        return true;
    }
    bool skip_past(char c) {
        auto found = text.find(c, at);
        at = found == std::string_view::npos ? text.size() : found + 1;
        return found != std::string_view::npos;
    }

  private:
    std::string_view text;
    std::size_t at = 0;
};

// Scott Adams' games as text (ScottFree's .dat), with no mark of their own:
// what the interpreter's loader reads first, a header of twelve numbers and
// then, for each action it counts, eight numbers.
bool scott_adams_database(file_bytes story) {
    number_reader in(story);
    long header[12];
    for (auto& n : header)
        if (!in.next(n))
            return false;
    long actions = header[2];
    for (long count : {header[1], header[2], header[3], header[4], header[10]})
        if (count < 0)
            return false;
    if (actions >= static_cast<long>(story.size()))
        return false;
    for (long i = 0; i < (actions + 1) * 8; ++i) {
        long n = 0;
        if (!in.next(n) || n < 0 || n > 0xFFFF)
            return false;
    }
    return true;
}

// SAGA Plus's text database, as its loader reads it: the game's title in
// quotes, then at least ten numbers, each after a comma.
bool saga_plus_database(file_bytes story) {
    number_reader in(story);
    in.skip_blanks();
    if (!in.take('"'))
        return false;
    // A doubled quote is a quote inside the title.
    do
        if (!in.skip_past('"'))
            return false;
    while (in.take('"'));
    for (int i = 0; i < 10; ++i) {
        long n = 0;
        if (!in.take(',') || !in.next(n))
            return false;
    }
    return true;
}

// JACL games are text; a game ready to play (.j2) says "#processed" in one
// of its first ten lines, which is how the interpreter's preprocessor tells
// it from a source to prepare. It reads lines of at most 1023 bytes.
bool jacl_processed(file_bytes story) {
    std::string_view text(reinterpret_cast<const char*>(story.data()), story.size());
    std::size_t at = 0;
    for (int line = 0; line < 10 && at < text.size(); ++line) {
        auto end = std::min({text.find('\n', at), at + 1023, text.size()});
        if (text.substr(at, end - at).find("#processed") != std::string_view::npos)
            return true;
        at = end + (end < text.size() && text[end] == '\n');
    }
    return false;
}

// Saves in the Quetzal format (Z-code and Glulx interpreters): an IFF FORM
// of type IFZS whose first chunk, IFhd, names the game in `size` bytes.
template <unsigned size> bool quetzal(file_bytes save) {
    const char head[] = {'I', 'F', 'h', 'd', 0, 0, 0, static_cast<char>(size)};
    return holds(save, 0, "FORM") && holds(save, 8, "IFZS") &&
           holds(save, 12, std::string_view(head, sizeof head));
}
constexpr std::size_t quetzal_game = 20;
// A Z-code game by its release, serial number and checksum.
bool fits_zcode(file_bytes save, file_bytes story) {
    return same(save, quetzal_game, story, 0x02, 2) &&
           same(save, quetzal_game + 2, story, 0x12, 6) &&
           same(save, quetzal_game + 8, story, 0x1C, 2);
}
// A Glulx game by its first 128 bytes.
bool fits_glulx(file_bytes save, file_bytes story) {
    return same(save, quetzal_game, story, 0, 128);
}

// TADS 2 saves begin with the game's file name (a newer interpreter's) or
// not, then their own mark, its version and the game's compile time, which
// the game keeps after its own mark (13 bytes), version (7) and flags (2).
constexpr std::string_view tads2_named_save("TADS2 save/g\n\r\x1a\0", 16);
constexpr std::string_view tads2_save("TADS2 save\n\r\x1a\0", 14);
bool tads2_is_save(file_bytes save) {
    return holds(save, 0, tads2_named_save) || holds(save, 0, tads2_save);
}
bool fits_tads2(file_bytes save, file_bytes story) {
    std::size_t at = 0;
    if (holds(save, 0, tads2_named_save)) {
        if (save.size() < tads2_named_save.size() + 2)
            return false;
        at = tads2_named_save.size() + 2 +
             (save[tads2_named_save.size()] | save[tads2_named_save.size() + 1] << 8);
    }
    return holds(save, at, tads2_save) && same(save, at + tads2_save.size() + 7, story, 22, 26);
}

// TADS 3 saves: their mark and version, two numbers, then the game's
// compile time as the game keeps it after its mark, version and 32 bytes.
bool tads3_is_save(file_bytes save) {
    return holds(save, 0, "T3-state-v");
}
bool fits_tads3(file_bytes save, file_bytes story) {
    return same(save, 25, story, 45, 24);
}

// Hugo saves have no mark: they begin with the game's id and serial number.
bool fits_hugo(file_bytes save, file_bytes story) {
    return same(save, 0, story, 1, 10);
}

bool alan3_is_save(file_bytes save) {
    return holds(save, 0, "ASAV");
}

const std::vector<story_format> formats = {
    // Marks of eleven and twelve bytes.
    {"TADS 3",
     {"t3"},
     babel_claims<tads3_treaty>,
     "TAD3",
     "tads",
     "application/x-t3vm-image",
     {tads3_is_save, fits_tads3},
     {}},
    {"TADS 2",
     {"gam"},
     babel_claims<tads2_treaty>,
     "TAD2",
     "tads",
     "application/x-tads",
     {tads2_is_save, fits_tads2},
     {}},
    // "Version" and its number, hidden.
    {"ADRIFT 5", {"taf"}, adrift_5, "ADRI", "", "", {}, {}},
    {"ADRIFT", {"taf"}, adrift_before_5, "ADRI", "scare", "application/x-adrift", {}, {}},
    // "ADVSYS", hidden.
    {"AdvSys",
     {"dat"},
     babel_claims<advsys_treaty>,
     "ADVS",
     "advsys",
     "application/x-advsys",
     {},
     {}},
    // A mark of four bytes and a checksum of the whole file.
    {"Alan 3",
     {"a3c"},
     alan3_game,
     "ALAN",
     "alan3",
     "application/x-alan3-adventure-game",
     {alan3_is_save, nullptr},
     {}},
    // Marks of four bytes.
    {"Glulx",
     {"ulx", "gblorb", "glb"},
     babel_claims<glulx_treaty>,
     "GLUL",
     // Git: it passes Glulxercise, and plays loops many times faster than
     // Glulxe; Glulxe is built too, for the Glk library's tests.
     "git",
     "application/x-glulx",
     {quetzal<128>, fits_glulx},
     {}},
    {"Magnetic Scrolls",
     {"mag"},
     babel_claims<magscrolls_treaty>,
     "MAGS",
     "magnetic",
     "application/x-magscroll",
     {},
     {{"gfx", "hnt"}}},
    {"AGT",
     {"agx"},
     babel_claims<agt_treaty>,
     "AGT ",
     "agility",
     "application/x-agt",
     {},
     {{"ttl", "ins", "voc", "cfg", "hnt", "opt"}}},
    // No mark. Alan 2: a checksum of the whole file and fifteen addresses.
    {"Alan 2", {"acd"}, alan2_game, "ALAN", "alan2", "application/x-alan-adventure-game", {}, {}},
    // Text: a word in the first lines, a title and ten numbers, a
    // header and every action as numbers.
    {"JACL", {"j2"}, jacl_processed, "", "jacl", "application/x-jacl", {}, {}},
    {"SAGA Plus", {"plus"}, saga_plus_database, "", "plus", "application/x-saga-plus", {}, {}},
    {"Scott Adams",
     {"saga", "dat"},
     scott_adams_database,
     "",
     "scott",
     "application/x-scott-adams",
     {},
     {}},
    // Hugo: a version, eight letters and seven addresses inside the file.
    {"Hugo",
     {"hex"},
     babel_claims<hugo_treaty>,
     "HUGO",
     "hugo",
     "application/x-hugo",
     {nullptr, fits_hugo},
     {{}, true}},
    // Level 9: structures found anywhere in the file.
    {"Level 9",
     {"l9", "sna"},
     level9_game,
     "LEVE",
     "level9",
     "application/x-level9",
     {},
     {{"pic"}, false, true}},
    // Z-code: a version byte and six addresses inside the file.
    {"Z-code",
     {"z1", "z2", "z3", "z4", "z5", "z6", "z7", "z8", "zblorb", "zlb"},
     babel_claims<zcode_treaty>,
     "ZCOD",
     "dfrotz",
     "application/x-zmachine",
     {quetzal<13>, fits_zcode},
     {}},
    // By their extensions alone: files that only their interpreters tell
    // apart, by tables of the games they know.
    {"AGT",
     {"d$$"},
     nullptr,
     "",
     "agility",
     "application/x-agt",
     {},
     {{"da1", "da2", "da3", "da4", "da5", "da6", "dcm", "ttl", "ins", "voc", "cfg", "hnt", "opt",
       "cmd"}}},
    {"TaylorMade", {"tay"}, nullptr, "", "taylor", "application/x-taylormade", {}, {}},
};

} // namespace

std::span<const story_format> story_formats() {
    return formats;
}

bool is_story_extension(std::string_view extension) {
    auto e = ascii_lower(extension);
    if (std::find(std::begin(blorb_extensions), std::end(blorb_extensions), e) !=
        std::end(blorb_extensions))
        return true;
    return std::any_of(formats.begin(), formats.end(), [&](const story_format& f) {
        return std::find(f.extensions.begin(), f.extensions.end(), e) != f.extensions.end();
    });
}

companion_kind companion_of(const story_format& format, std::string_view story_stem,
                            std::string_view story_extension, std::string_view stem,
                            std::string_view extension) {
    const auto& wanted = format.companions;
    auto digit = [](std::string_view s) { return !s.empty() && s.back() >= '0' && s.back() <= '9'; };
    if (ascii_lower(stem) == ascii_lower(story_stem) &&
        std::find(wanted.named_as_story.begin(), wanted.named_as_story.end(), extension) !=
            wanted.named_as_story.end())
        return companion_kind::named_as_story;
    if (wanted.named_by_game && extension.empty())
        return companion_kind::named_by_game;
    if (wanted.numbered_parts && digit(story_stem) && digit(stem) &&
        extension == story_extension && stem.size() == story_stem.size() &&
        stem.substr(0, stem.size() - 1) == story_stem.substr(0, story_stem.size() - 1))
        return companion_kind::numbered_part;
    return companion_kind::none;
}

bool is_shared_extension(std::string_view extension) {
    auto e = ascii_lower(extension);
    return e == "dat" || e == "hex" || e == "sna" || e == "gam";
}

std::string with_article(const story_format& format) {
    bool vowel = !format.name.empty() && std::strchr("AEIOU", format.name[0]);
    return (vowel ? "an " : "a ") + std::string(format.name);
}

std::vector<file_filter> story_file_filters() {
    std::vector<file_filter> filters{{"Games", {}}};
    auto add = [](file_filter& to, std::string_view e) {
        if (std::find(to.extensions.begin(), to.extensions.end(), e) == to.extensions.end())
            to.extensions.push_back(e);
    };
    for (const auto& f : formats) {
        if (f.program.empty())
            continue;
        auto label = std::string(f.name) + " Games";
        auto same_name = std::find_if(filters.begin(), filters.end(),
                                      [&](const file_filter& g) { return g.label == label; });
        auto& group =
            same_name != filters.end() ? *same_name : filters.emplace_back(file_filter{label, {}});
        for (auto e : f.extensions) {
            add(group, e);
            add(filters[0], e);
        }
        if (!f.blorb_chunk.empty())
            for (auto e : blorb_extensions) {
                add(group, e);
                add(filters[0], e);
            }
    }
    return filters;
}

} // namespace tw
