#include "game/history.h"
#include "game/segmenter.h"
#include "game/utf8.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

using namespace tw;

namespace {

std::vector<std::string> cut(std::string_view text, bool finish = false) {
    segmenter s;
    std::vector<std::string> out;
    s.feed(text, out);
    if (finish)
        s.finish(out);
    return out;
}

// What the player hears and sees for `text`, one entry per spoken segment.
std::vector<std::string> spoken(std::string_view text) {
    std::vector<std::string> said;
    for (const auto& raw : cut(text, true))
        if (auto c = clean_segment(raw); !c.empty())
            said.push_back(c);
    return said;
}

using strings = std::vector<std::string>;

} // namespace

TEST(Segmenter, SentenceAndLineEnds) {
    EXPECT_EQ(cut("You are in a room.\n"), (strings{"You are in a room.", "\n"}));
    EXPECT_EQ(spoken("You are in a room.\n"), (strings{"You are in a room.\n"}));
}

TEST(Segmenter, CutsAfterMrAndKeepsBracketsWhole) {
    EXPECT_EQ(spoken("Mr. Smith waves.\n"), (strings{"Mr.\n", "Smith waves.\n"}));
    EXPECT_EQ(cut("[Your score has gone up.]\n"), (strings{"[Your score has gone up.]", "\n"}));
    EXPECT_EQ(spoken("[Your score has gone up.]\n"), (strings{"[Your score has gone up.]\n"}));
}

TEST(Segmenter, OpenBracketHoldsAcrossLinesUntilClosed) {
    segmenter s;
    strings out;
    s.feed("[A long\nnotice. Still", out);
    EXPECT_TRUE(out.empty());
    s.feed(" going.] Done.", out);
    EXPECT_EQ(out, (strings{"[A long\nnotice. Still going.]", " Done."}));
}

TEST(Segmenter, PromptReleasesABracketThatNeverCloses) {
    // A game printing a lone "[" must not go silent for good.
    EXPECT_EQ(cut("[Oops\nmore text\n>"), (strings{"[Oops\nmore text\n", ">"}));
    segmenter s;
    strings out;
    s.feed("[x\n>look\n", out);
    EXPECT_EQ(out, (strings{"[x\n", ">", "look\n"}));
}

TEST(Segmenter, QuietInterpreterReleasesAnUnfinishedQuestion) {
    segmenter s;
    strings out;
    s.feed("\nOverwrite existing file? ", out);
    EXPECT_EQ(out, (strings{"\n"}));
    EXPECT_TRUE(s.release(out));
    EXPECT_EQ(out, (strings{"\n", "Overwrite existing file? "}));
    EXPECT_FALSE(s.release(out));  // nothing held
    s.feed("[an open notice", out);
    EXPECT_FALSE(s.release(out));  // a bracket waits for its end or the prompt
    EXPECT_EQ(s.pending(), "[an open notice");
}

TEST(Segmenter, PromptsAreFiledButNotSpoken) {
    EXPECT_TRUE(is_prompt(">"));
    EXPECT_EQ(clean_segment(">"), "");
    EXPECT_EQ(turn_text(">"), " >\n");
    // Spaces before ">" make it text, not a prompt.
    EXPECT_FALSE(is_prompt("  >"));
    EXPECT_EQ(clean_segment("  >"), ">\n");
}

TEST(Segmenter, CleaningFoldsLineEndsOnceAndTrimsSpacesOnly) {
    EXPECT_EQ(clean_segment("\n"), "");       // "\n\n" folds to one line end
    EXPECT_EQ(clean_segment("\n\n"), "\n\n"); // three become two
    EXPECT_EQ(clean_segment("  Hello.\r"), "Hello.\n");
    EXPECT_EQ(clean_segment("Line\r\n"), "Line\n");
    EXPECT_EQ(clean_segment(" \tTabbed. "), "\tTabbed. \n"); // only the ends are trimmed
    EXPECT_EQ(clean_segment("   "), "");
}

TEST(Segmenter, RawSegmentsJoinedEqualInput) {
    std::mt19937 rng(1234);
    const std::string alphabet = "ab .\n>[]\r ";
    for (int round = 0; round < 300; ++round) {
        std::string input;
        int len = static_cast<int>(rng() % 200);
        for (int i = 0; i < len; ++i)
            input += alphabet[rng() % alphabet.size()];
        // Fed in random chunks, it cuts exactly as fed whole.
        segmenter s;
        strings out;
        for (size_t pos = 0; pos < input.size();) {
            size_t n = 1 + rng() % 7;
            s.feed(std::string_view(input).substr(pos, n), out);
            pos += n;
        }
        std::string joined;
        for (const auto& seg : out)
            joined += seg;
        EXPECT_EQ(joined + s.pending(), input);
        EXPECT_EQ(out, cut(input)) << input;
        for (const auto& seg : out) {
            auto c = clean_segment(seg);
            if (!c.empty()) {
                EXPECT_NE(c.front(), ' ');
                EXPECT_NE(c.back(), ' ');
            }
        }
    }
}

TEST(Segmenter, RecordedSessionKeepsEverySentence) {
    std::ifstream in(TALLOWICK_SOURCE_DIR "/tests/data/lantern-transcript.txt", std::ios::binary);
    if (!in)
        GTEST_SKIP() << "no recorded transcript";
    std::stringstream ss;
    ss << in.rdbuf();
    std::string text = decode_utf8(ss.str());
    auto said = spoken(text);
    std::string all;
    for (const auto& s : said) {
        // No spoken piece is a bare prompt or blank.
        EXPECT_NE(s, ">\n");
        EXPECT_NE(s, "\n");
        all += s;
    }
    EXPECT_NE(all.find("Mr.\n"), std::string::npos);
}

TEST(Utf8, ValidTextPassesAndBadBytesBecomeReplacement) {
    EXPECT_EQ(decode_utf8("Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"),
              "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");
    EXPECT_EQ(decode_utf8("a\xFFz"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(decode_utf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");                 // overlong
    EXPECT_EQ(decode_utf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"); // surrogate
    EXPECT_EQ(decode_utf8("\xE2\x82x"), "\xEF\xBF\xBDx"); // truncated, then ASCII
    EXPECT_EQ(decode_utf8("end\xE2\x82"), "end\xEF\xBF\xBD");
    EXPECT_EQ(decode_utf8(std::string("a\0b", 3)), "ab");
}

TEST(Utf8, SequencesAndLineEndsSplitAcrossChunks) {
    utf8_decoder d;
    std::string out;
    d.feed("x\xE2", out);
    d.feed("\x82", out);
    d.feed("\xAC\r", out);
    d.feed("\ny\rz", out);
    d.finish(out);
    EXPECT_EQ(out, "x\xE2\x82\xAC\ny\nz");
}

TEST(History, KeepsTenTurnsOldestFirst) {
    turn_history h;
    EXPECT_EQ(h.replay(0), "");
    for (int i = 1; i <= 11; ++i) {
        h.add_segment("Turn " + std::to_string(i) + ".");
        h.close_turn();
    }
    EXPECT_EQ(h.outputs().size(), 10u);
    EXPECT_EQ(h.outputs().front(), " Turn 2.\n");
    EXPECT_EQ(h.replay(0), " Turn 11.\n");
    EXPECT_EQ(h.replay(1), " Turn 10.\n");
    EXPECT_EQ(h.replay(9), " Turn 2.\n");
    EXPECT_EQ(h.lastoutput(), "");
    h.add_segment("Now.");
    h.add_segment(">");
    EXPECT_EQ(h.lastoutput(), " Now.\n >\n");
}
