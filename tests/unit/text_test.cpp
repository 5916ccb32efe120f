// Text on its way from the interpreter to the player: UTF-8, the screen's
// rows, the cutting into spoken segments, and the turn history.
#include "core/interpreter/interpreter_screen.h"
#include "core/text/segmenter.h"
#include "core/story/transcript.h"
#include "core/text/turn_history.h"
#include "core/text/utf8.h"
#include "support.h"

namespace tw {
namespace {

TEST(Utf8, BadBytesBecomeReplacementsAndLineEndsBecomeLf) {
    EXPECT_EQ(decode_utf8("a\xff"
                          "b\xc0\xaf"
                          "c\xed\xa0\x80"
                          "d"),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD\xEF\xBF\xBD"
              "c\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
              "d");
    EXPECT_EQ(decode_utf8(std::string("x\0y\r\nz\rw", 9)), "xy\nz\nw");
    // Sequences and CR LF split between reads: the fuzzer's (utf8_fuzz).
    EXPECT_EQ(utf8_prefix("ab\xc3\xa2", 3), "ab");
    EXPECT_EQ(utf8_length("\xc2\xbf"
                          "Est\xc3\xa1s"),
              6u);
}

// Feeds `text` in one piece and at every split into two, and checks that
// each way gives the same raw segments, which joined give back the text.
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

TEST(Segmenter, CutsAfterLineEndsPromptsStopsAndBrackets) {
    EXPECT_EQ(cut("You are in a room.\n"), (segments{"You are in a room.", "\n"}));
    EXPECT_EQ(cut("Mr. Smith waves.\n"), (segments{"Mr.", " Smith waves.", "\n"}));
    EXPECT_EQ(cut("[Your score has gone up.]\n"), (segments{"[Your score has gone up.]", "\n"}));
    EXPECT_EQ(cut("a[b.\nc>d]e"), (segments{"a[b.\nc>d]", "e"}));
    EXPECT_EQ(cut("\n>"), (segments{"\n", ">"}));
    // A "[" never closed is let go at the prompt.
    EXPECT_EQ(cut("[Open\n>look"), (segments{"[Open\n", ">", "look"}));
}

TEST(Segmenter, KeepsNumbersAddressesEllipsesAndClosingMarksWhole) {
    EXPECT_EQ(cut("Inform v6.41 Library v6.12.6 S\n"),
              (segments{"Inform v6.41 Library v6.12.6 S\n"}));
    EXPECT_EQ(cut("(See rcveeder@me.com.) Then"), (segments{"(See rcveeder@me.com.)", " Then"}));
    EXPECT_EQ(cut("Well... the vault."), (segments{"Well...", " the vault."}));
    EXPECT_EQ(cut("\"Done.\" He went.\n"), (segments{"\"Done.\"", " He went.", "\n"}));
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
    EXPECT_EQ(turn_text("x"), " x\n");
}

// dfrotz's screen: "NN" + type + " " + cells; "_\b" marks a reverse
// character and \x01 a reverse blank.
std::string reverse(std::string_view text) {
    std::string s;
    for (char c : text)
        s += c == ' ' ? std::string("\x01") : std::string("_\b") + c;
    return s;
}

struct screen_run {
    std::string text;
    std::vector<std::string> status;
    std::vector<char> inputs; // 'l' line, 'k' key, in order
};

screen_run run_screen(const std::vector<std::string>& chunks, int width = 255) {
    interpreter_screen screen(width);
    std::vector<screen_event> events;
    for (const auto& chunk : chunks) {
        if (chunk == "<quiet>")
            screen.quiet(events);
        else
            screen.feed(chunk, events);
    }
    screen.quiet(events);
    screen_run r;
    for (const auto& e : events) {
        if (e.kind == screen_event::story_text) {
            r.text += e.text;
        } else if (e.kind == screen_event::status_line) {
            r.status.push_back(e.text);
        } else {
            r.inputs.push_back(e.kind == screen_event::line_input ? 'l' : 'k');
            r.text += "|";
        }
    }
    return r;
}

TEST(InterpreterScreen, StatusLineIsKeptAsideAndChatterDropped) {
    auto r =
        run_screen({"Line numbering ON\nLine-type display ON\n",
                    "01  " + reverse(" Hall      Score: 0   Moves: 1") + "\n",
                    "... \n07  Hall\n08  A room.\n09  \n10> >", "<quiet>",
                    "01  " + reverse(" Porch      Score: 0   Moves: 2") + "\n11  Porch\n12> >"});
    EXPECT_EQ(r.text, "Hall\nA room.\n\n>|Porch\n>|");
    EXPECT_EQ(r.status,
              (std::vector<std::string>{"Hall Score: 0 Moves: 1", "Porch Score: 0 Moves: 2"}));
}

TEST(InterpreterScreen, AKeyWaitSpeaksTheTopRowAndAskedForAKey) {
    // A menu: its title on the top row, and a wait for one key.
    auto r = run_screen({"01  " + reverse("    Help") + "\n02  Subjects\n03]    > How\n03)    >"});
    EXPECT_EQ(r.text, "Help\nSubjects\n   > How\n|");
    EXPECT_EQ(r.inputs, (std::vector<char>{'k'}));
    EXPECT_TRUE(r.status.empty());
}

TEST(InterpreterScreen, QuoteBoxOverOlderTextIsSaidAlone) {
    auto r = run_screen({"05  Old text left   " + reverse("  Every lamp") + "\n",
                         "06  Hall\n", // a blank line of the box
                         "07  Old            " + reverse("  -- a saying") + "\n",
                         "08  [Press a key.]\n08) "});
    EXPECT_EQ(r.text, "Every lamp\n-- a saying\n[Press a key.]\n|");
}

TEST(InterpreterScreen, RowsTheInterpreterWrappedAreJoined) {
    // At width 20 "wraps" would not have fitted after "a line that", so the
    // row end is a wrap; "End." would have fitted after "Do", so that one is
    // a real line end, as is any end across a gap between spans.
    auto r =
        run_screen({"04  It is a line that\n05  wraps here. Do\n06  End.\n... \n09  Next\n"}, 20);
    EXPECT_EQ(r.text, "It is a line that wraps here. Do\nEnd.\nNext\n");
}

TEST(InterpreterScreen, APromptEndsWhenQuietOrAtTheNextRow) {
    // An interpreter's own question may come between the prompt and the
    // rows; with commands typed ahead, no quiet comes between them at all.
    // The file name it asks for is one our own dialog has given.
    auto r = run_screen({"12> >", "<quiet>", "Please enter a filename [x.qzl]: 01  Ok.\n",
                         "13T Overwrite existing file? ", "<quiet>", "14> >15  Yes.\n16> >"});
    EXPECT_EQ(r.text, ">|Ok.\nOverwrite existing file? |>|Yes.\n>|");
    EXPECT_EQ(r.inputs, (std::vector<char>{'l', 'l', 'l', 'l'}));
    // The same question after rows of the game's own (a fuzzer's find).
    for (auto chunks : {std::vector<std::string>{"02  Saving.\nPlease enter a filename [t.qzl]: ",
                                                 "<quiet>", "03  Saved.\n04) "},
                        std::vector<std::string>{
                            "02  Saving.\nPlease enter a filename [t.qzl]: 03  Saved.\n04) "}})
        EXPECT_EQ(run_screen(chunks).text, "Saving.\nSaved.\n|");
}

TEST(InterpreterScreen, TextOfAnotherInterpreterPassesUnchanged) {
    std::string text = "You said: look.\n\n>Line numbering is 07  here\n";
    EXPECT_EQ(run_screen({text}).text, text);
    EXPECT_EQ(run_screen({text.substr(0, 9), text.substr(9)}).text, text);
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
    h.add_segment(">");
    EXPECT_EQ(h.current_turn(), " >\n");
}

} // namespace
} // namespace tw
