// The table of story formats: files told apart by their bytes, in the
// table's order, whatever their names (our real stories, the loosest check
// last of all, are the journeys' and Glulxercise's); what no interpreter
// plays, said; and the desktop's file types, which data/ spells again,
// agreeing with it.
#include "core/story/file_types.h"
#include "core/story/story_file.h"
#include "support.h"

#include <map>
#include <regex>
#include <set>

namespace tw {
namespace {

using namespace test;

std::string zeros(size_t n) {
    return std::string(n, '\0');
}

// ADRIFT hides its files behind Visual Basic's random numbers.
std::string adrift(const std::string& version) {
    std::string text = "Version " + version + zeros(20);
    uint32_t state = 0xA09E86;
    for (auto& c : text) {
        state = (state * 0x43FD43FD + 0xC39EC3) & 0xFFFFFF;
        c = static_cast<char>(c ^ (255u * state >> 24));
    }
    return text;
}

// A file of each format, as small as its check allows.
const std::map<std::string, std::string>& samples() {
    static const std::map<std::string, std::string> made = [] {
        std::map<std::string, std::string> s;
        std::string z = zeros(64);
        z[0] = 5;
        for (int at = 5; at < 16; at += 2)
            z[at] = 0x40; // header addresses, inside the file
        s["Z-code"] = z;
        s["Glulx"] = "Glul" + zeros(252);
        s["TADS 3"] = std::string("T3-image\r\n\x1a\x02\0", 13) + zeros(100);
        s["TADS 2"] = "TADS2 bin\n\r\x1a" + zeros(100);
        s["Hugo"] = std::string("\x1f") + "ab05-05-05" + zeros(53);
        // Alan 2 has no mark: a header whose checksum of the rest (none) is 0.
        s["Alan 2"] = std::string("\x02\x08\x01\0", 4) + big_endian(40) + zeros(152);
        s["Alan 3"] = "ALAN\x03" + zeros(7) + big_endian(50) + zeros(184);
        s["ADRIFT"] = adrift("4.00");
        s["AdvSys"] = std::string("\0\0\xa0\x9d\x8b\x8e\x88\x8e", 8) + zeros(20);
        s["AGT"] = "\x58\xc7\xc1\x51" + zeros(32);
        s["Magnetic Scrolls"] = "MaSc" + zeros(38);
        s["JACL"] = "#!../bin/jacl\n#processed:209\nlocation kitchen\n";
        s["SAGA Plus"] = "\"Questprobe featuring The Hulk\",1,2,3,4,5,6,7,8,9,10\n";
        s["Scott Adams"] = "0 1 0 1 1 1 1 0 3 0 1 0\n 1 2 3 4 5 6 7 8\n";
        // Level 9: tables whose offsets add up, as its module looks for.
        std::string l9 = zeros(0x1000);
        for (auto [at, value] : {std::pair{0, 0x101}, {2, 1}, {4, 1}, {6, 2}, {8, 1}, {10, 3}})
            l9[at] = static_cast<char>(value), l9[at + 1] = static_cast<char>(value >> 8);
        l9[18] = 0x2a;
        s["Level 9"] = l9;
        return s;
    }();
    return made;
}

std::string format_of(const std::string& bytes, const std::string& name) {
    auto check =
        identify_story({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()}, name);
    return check.format ? std::string(check.format->name) : check.problem;
}

TEST(Formats, AreToldByTheirBytesWhateverTheirNames) {
    for (const auto& [format, bytes] : samples()) {
        EXPECT_EQ(format_of(bytes, "game.z5"), format);
        // In a Blorb, under its format's chunk.
        for (const auto& f : story_formats())
            if (f.name == format && !f.blorb_chunk.empty()) {
                auto blorb = make_blorb({{std::string(f.blorb_chunk), bytes, "Exec"}});
                EXPECT_EQ(format_of(blorb, "g.blb"), format);
            }
    }
    // Only these, which no check tells, by their names.
    EXPECT_EQ(format_of("?", "Kayleth.tay"), "TaylorMade");
    EXPECT_EQ(format_of("?", "game.d$$"), "AGT");
}

TEST(Formats, WhatNothingPlaysIsSaidNamingTheFile) {
    const std::string unknown = "Tallowick cannot play the file x.z5: it is not a game in any "
                                "format that Tallowick knows.";
    const auto& s = samples();
    // Cut short, every header is no game's.
    for (auto [format, kept] :
         {std::pair{"Z-code", 40}, {"TADS 3", 8}, {"Glulx", 100}, {"Alan 2", 150}})
        EXPECT_EQ(format_of(s.at(format).substr(0, kept), "x.z5"), unknown) << format;
    EXPECT_EQ(format_of("0 1 2 apples\n", "x.z5"), unknown);
    EXPECT_EQ(format_of(adrift("5.00"), "Skybreak.taf"),
              "The file Skybreak.taf is an ADRIFT 5 game, which Tallowick cannot play yet.");
    EXPECT_EQ(format_of(make_blorb({{"ADRI", adrift("5.00"), "Exec"}}), "Skybreak.blorb"),
              "The file Skybreak.blorb is an ADRIFT 5 game, which Tallowick cannot play yet.");
    const std::string blorb = "Tallowick cannot play the file x.blb: ";
    EXPECT_EQ(format_of(make_blorb({{"XXXX", s.at("Z-code"), "Exec"}}), "x.blb"),
              blorb + "the game in this Blorb file is in a format that Tallowick does not know.");
    EXPECT_EQ(format_of(make_blorb({{"ZCOD", "not a game", "Exec"}}), "x.blb"),
              blorb + "it is a damaged Blorb file.");
    EXPECT_EQ(format_of(make_blorb({{"Pict", "picture", "Pict"}}), "x.blb"),
              blorb + "it is a Blorb file with pictures or sounds but no game in it.");
}

// The first group of every match of `pattern` in `text`.
std::set<std::string> all(const std::string& text, const std::string& pattern) {
    std::set<std::string> found;
    const std::regex rule(pattern);
    for (std::sregex_iterator m(text.begin(), text.end(), rule), end; m != end; ++m)
        found.insert((*m)[1]);
    return found;
}

// The bytes a magic rule's value stands for: "T3-image\r\n\x1a".
std::string unescaped(const std::string& value) {
    std::string bytes;
    for (size_t i = 0; i < value.size(); ++i) {
        char kind = value[i] == '\\' ? value[++i] : 0;
        bytes += !kind         ? value[i]
                 : kind == 'r' ? '\r'
                 : kind == 'n' ? '\n'
                               : static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
        i += kind == 'x' ? 2 : 0;
    }
    return bytes;
}

// The desktop's file types (data/tallowick-mime.xml, the launcher, the
// metainfo): one for each format played, its extensions as globs but for
// shared ones, and one of its magic rules, if any, true of its files.
TEST(Formats, TheDesktopsFileTypesAgreeWithTheTable) {
    const fs::path data = TALLOWICK_SOURCE_DIR "/data";
    auto xml = read_file(data / "tallowick-mime.xml");
    auto type_of = [&](std::string_view type) {
        auto at = xml.find("<mime-type type=\"" + std::string(type) + "\"");
        return at == std::string::npos ? std::string()
                                       : xml.substr(at, xml.find("</mime-type>", at) - at);
    };
    std::set<std::string> played = {std::string(blorb_mime_type)};
    for (const auto& f : story_formats()) {
        if (f.program.empty())
            continue;
        played.insert(std::string(f.mime_type));
        for (auto e : f.extensions) {
            // Blorb files are the Blorb type's, whatever they hold.
            auto blorb = e.ends_with("blorb") || (e.size() == 3 && e.ends_with("lb"));
            EXPECT_EQ(
                all(type_of(blorb ? blorb_mime_type : f.mime_type), R"re(pattern="\*\.([^"]+)")re")
                    .count(std::string(e)),
                !is_shared_extension(e))
                << e;
        }
        auto body = type_of(f.mime_type);
        const std::regex rule(R"re(offset="(\d+)" value="([^"]*)"(?: mask="0x(\w+)")?)re");
        bool holds =
            body.find("<match") == std::string::npos || !samples().count(std::string(f.name));
        for (std::sregex_iterator r(body.begin(), body.end(), rule), end; r != end; ++r) {
            std::string bytes = unescaped((*r)[2]), mask = (*r)[3];
            auto sample =
                samples().at(std::string(f.name)).substr(std::stoul((*r)[1]), bytes.size());
            for (size_t i = 0; i < mask.size() / 2; ++i) {
                auto bits = static_cast<char>(std::stoi(mask.substr(2 * i, 2), nullptr, 16));
                sample[i] &= bits, bytes[i] &= bits;
            }
            holds = holds || sample == bytes;
        }
        EXPECT_TRUE(holds) << f.name;
    }
    EXPECT_EQ(all(type_of(blorb_mime_type), R"re(pattern="\*\.([^"]+)")re").size(), 6u);
    EXPECT_EQ(all(xml, R"re(<mime-type type="([^"]+)")re"), played);
    auto desktop = read_file(data / "io.github.tallowick.Tallowick.desktop");
    auto at = desktop.find("MimeType=");
    EXPECT_EQ(all(desktop.substr(at, desktop.find('\n', at) - at), "([^;=]+);"), played);
    EXPECT_EQ(all(read_file(data / "io.github.tallowick.Tallowick.metainfo.xml"),
                  "<mediatype>([^<]+)</mediatype>"),
              played);
}

// Windows' file types: one an extension, each named for a screen reader,
// and none for an extension that other files share.
TEST(Formats, WindowsFileTypesAreNamedAndClaimNoSharedExtension) {
    std::map<std::string, std::string> named;
    for (const auto& t : story_file_types())
        EXPECT_TRUE(named.emplace(t.extension, t.name).second) << t.extension;
    for (const char* shared : {"dat", "hex", "sna", "gam"})
        EXPECT_FALSE(named.count(shared)) << shared;
    EXPECT_EQ(named["z5"], "Z-code story");
    EXPECT_EQ(named["t3"], "TADS 3 story");
    EXPECT_EQ(named["blorb"], "Blorb story");
}

} // namespace
} // namespace tw
