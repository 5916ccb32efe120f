// Text on its way to the player: UTF-8, the cutting into spoken segments,
// the histories of turns and commands, and the transcript.
#include "core/text/chords.h"
#include "core/text/command_history.h"
#include "core/text/segmenter.h"
#include "core/text/type_ahead.h"
#include "core/story/transcript.h"
#include "core/text/turn_history.h"
#include "core/text/utf8.h"
#include "support.h"

namespace tw {
namespace {

TEST(Utf8, BadBytesBecomeReplacementsAndLineEndsBecomeLf) {
    const std::string r = "\xEF\xBF\xBD"; // U+FFFD
    EXPECT_EQ(decode_utf8("g\xffh\xc0\xafi\xed\xa0\x80j"),
              "g" + r + "h" + r + r + "i" + r + r + r + "j");
    EXPECT_EQ(decode_utf8(std::string("x\0y\r\nz\rw", 9)), "xy\nz\nw");
    // Sequences and CR LF split between reads: the fuzzer's (utf8_fuzz).
    EXPECT_EQ(utf8_prefix("ab\xc3\xa2", 3), "ab");
    EXPECT_EQ(utf8_length("¿Estás"), 6u);
}

// The segments of `text`, the same cut anywhere in two, joined the text.
std::vector<std::string> cut(std::string_view text) {
    std::vector<std::string> whole;
    segmenter s;
    s.feed(text, whole);
    s.finish(whole);
    std::string joined;
    for (const auto& seg : whole)
        joined += seg;
    EXPECT_EQ(joined, text);
    for (size_t at = 1; at < text.size(); ++at) {
        if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
            continue; // the decoder never splits a character
        std::vector<std::string> parts;
        segmenter p;
        p.feed(text.substr(0, at), parts);
        p.feed(text.substr(at), parts);
        p.finish(parts);
        EXPECT_EQ(parts, whole) << "split at " << at;
    }
    return whole;
}

using segments = std::vector<std::string>;

TEST(Segmenter, CutsAfterLineEndsPromptsStopsAndBracketsButKeepsNumbersAndEllipsesWhole) {
    EXPECT_EQ(cut("You are in a room.\n"), (segments{"You are in a room.", "\n"}));
    EXPECT_EQ(cut("Mr. Smith waves.\n"), (segments{"Mr.", " Smith waves.", "\n"}));
    EXPECT_EQ(cut("[Your score has gone up.]\n"), (segments{"[Your score has gone up.]", "\n"}));
    EXPECT_EQ(cut("a[b.\nc>d] e"), (segments{"a[b.\nc>d]", " e"}));
    // A word running on from a bracket stays with it, as a menu's keys.
    EXPECT_EQ(cut("[N]ext item  [Q]uit\n"), (segments{"[N]ext item  [Q]uit\n"}));
    EXPECT_EQ(cut("\n>"), (segments{"\n", ">"}));
    // A menu's marker of its current item stays with its line; a prompt not.
    EXPECT_EQ(cut(">A hint\n> look"), (segments{">A hint\n", ">", " look"}));
    // A "[" never closed is let go at the prompt.
    EXPECT_EQ(cut("[Open\n>look"), (segments{"[Open\n", ">", "look"}));
    // Numbers, addresses, ellipses and closing marks stay whole.
    EXPECT_EQ(cut("Inform v6.41 Library v6.12.6 S\n"),
              (segments{"Inform v6.41 Library v6.12.6 S\n"}));
    EXPECT_EQ(cut("(See rcveeder@me.com.) Then"), (segments{"(See rcveeder@me.com.)", " Then"}));
    EXPECT_EQ(cut("Well... the vault."), (segments{"Well...", " the vault."}));
    EXPECT_EQ(cut("\"Done.\" He went.\n"), (segments{"\"Done.\"", " He went.", "\n"}));
    // A mark after an ellipsis goes on with its sentence.
    EXPECT_EQ(cut("a cheap demo game...? Yes."), (segments{"a cheap demo game...? Yes."}));
    EXPECT_EQ(cut("Ch\xc3\xa2teau.\xc3\xa9t\xc3\xa9 X."),
              (segments{"Ch\xc3\xa2teau.\xc3\xa9t\xc3\xa9 X."}));
}

TEST(Segmenter, QuietAndPromptLetHeldTextGo) {
    segmenter s;
    segments out;
    s.feed("Overwrite existing file? ", out);
    s.feed("It ends.", out);
    EXPECT_TRUE(out.empty()); // what follows the "." is not known yet
    EXPECT_TRUE(s.release(out));
    EXPECT_EQ(out, (segments{"Overwrite existing file? It ends."}));
    out.clear();
    s.feed("[held", out);
    EXPECT_FALSE(s.release(out));
    s.prompt(out);
    EXPECT_EQ(out, (segments{"[held"}));
}

TEST(Segmenter, CleaningJoinsLineEndsTrimsSpacesAndDropsNothing) {
    EXPECT_EQ(clean_segment(" Smith waves."), "Smith waves.\n");
    EXPECT_EQ(clean_segment("a\n\n\nb\r\n"), "a\n\nb\n");
    EXPECT_EQ(clean_segment(">"), "");
    EXPECT_EQ(clean_segment("  >"), ">\n");
    EXPECT_EQ(clean_segment("\n"), "");
}

TEST(Transcript, AddsEverySessionWithItsCommandsAsTheyCome) {
    test::temp_dir dir;
    {
        transcript t(dir.path(), "/stories/Lantern Hall.z5");
        t.add_output("Rain.\n");
        t.add_command("save\ncastle.sav");
    }
    transcript again(dir.path(), "Lantern Hall.z5");
    again.add_output("Half a line");
    again.add_command("look");
    auto text = test::read_file(dir / "Lantern Hall transcript.txt");
    EXPECT_EQ(text.substr(text.find("====\n") + 5, 30), "Rain.\n>save\n>castle.sav\n\n==== ");
    EXPECT_EQ(text.substr(text.size() - 18), "Half a line\n>look\n");
    transcript nowhere(dir / "missing", "x.z5");
    EXPECT_FALSE(nowhere.writing());
}

TEST(TurnHistory, CtrlDigitsReachTheTenLastTurnsNewestFirst) {
    turn_history h;
    for (int turn = 0; turn < 11; ++turn) {
        h.add_segment("t" + std::to_string(turn));
        h.close_turn();
    }
    EXPECT_EQ(h.replay(0), " t10\n");
    EXPECT_EQ(h.replay(1), " t9\n");
    EXPECT_EQ(h.replay(9), " t1\n"); // t0 has been dropped
}

TEST(CommandHistory, WalksBackToTheOldestAndForwardToTheDraft) {
    command_history h;
    EXPECT_EQ(h.earlier("typed"), std::nullopt); // nothing to walk yet
    for (auto c : {"look", "inventory", ""})
        h.add(c);
    EXPECT_EQ(h.last(), ""); // the last sent, empty or not
    h.add("inventory");
    EXPECT_EQ(h.earlier("half"), "inventory");
    EXPECT_EQ(h.earlier("ignored"), "inventory"); // the empty line is no command
    EXPECT_EQ(h.earlier("ignored"), "look");
    EXPECT_EQ(h.earlier("ignored"), std::nullopt);
    EXPECT_EQ(h.later(), "inventory");
    EXPECT_EQ(h.later(), "inventory");
    EXPECT_EQ(h.later(), "half"); // the draft comes back
    EXPECT_EQ(h.later(), std::nullopt);
    h.add("north");
    EXPECT_EQ(h.earlier(""), "north"); // a new walk starts from the newest
}

// The chords the black-box journeys press (Q, Z, H, L, S, R, K, 0, M, D,
// Page Up and Down, Shift+Up, =) are heard doing so there.
TEST(Chords, EachKeyDoesOneThingWhateverItsCase) {
    auto action = [](chord_key k) { return chord_for(k).action; };
    EXPECT_EQ(action({U'Q', chord_key::none, true}), chord::quit);
    EXPECT_EQ(action({U'B'}), chord::braille);
    EXPECT_EQ(chord_for({U'7'}).action, chord::replay);
    EXPECT_EQ(chord_for({U'7'}).digit, 7);
    EXPECT_EQ(action({0, chord_key::down, true}), chord::slower);
    EXPECT_EQ(action({0, chord_key::up}), chord::none); // Ctrl+Up is the field's
    EXPECT_EQ(action({U'+', chord_key::none, true}), chord::larger);
    EXPECT_EQ(action({0, chord_key::minus}), chord::smaller);
    EXPECT_EQ(action({U'c'}), chord::none); // copying is the control's own
    EXPECT_EQ(action({U'\u00e9'}), chord::none);
}

TEST(TypeAhead, FirstLettersFindARowAsANativeListDoes) {
    std::vector<std::string> rows = {"Lantern Hall", "Lost Pig", "Photopia", "Lime Ergot"};
    type_ahead find;
    auto at = type_ahead::clock::time_point();
    auto soon = [&] { return at += std::chrono::milliseconds(100); };
    EXPECT_EQ(find.find("L", soon(), rows, 0), 1u); // past the current row
    EXPECT_EQ(find.find("o", soon(), rows, 1), 1u); // "Lo" is the current row's
    EXPECT_EQ(find.find("s", soon(), rows, 1), 1u);
    EXPECT_EQ(find.find("x", soon(), rows, 1), std::nullopt);
    at += type_ahead::pause * 2; // a pause starts again
    EXPECT_EQ(find.find("p", at, rows, 1), 2u);
    at += type_ahead::pause * 2;
    // One letter again and again steps through the rows it starts.
    EXPECT_EQ(find.find("l", at, rows, 2), 3u);
    EXPECT_EQ(find.find("l", soon(), rows, 3), 0u);
    EXPECT_EQ(find.find("l", soon(), rows, 0), 1u);
}

} // namespace
} // namespace tw
