// From an interpreter's output to what the player hears: dfrotz's screen
// rows, the Glk protocol's updates, what may be said, and the hand-off to
// the GUI thread.
#include "core/interpreter/dfrotz_screen.h"
#include "core/interpreter/glk_protocol.h"
#include "core/interpreter/reader.h"
#include "support.h"

#include <thread>

namespace tw {
namespace {

using enum screen_event::kind_t;

// What a decoder made of some output: its events, and its story text with
// "|" at each input wait.
struct screen_run {
    std::vector<screen_event> events;
    std::string text;

    std::vector<screen_event> of(std::initializer_list<screen_event::kind_t> kinds) const {
        std::vector<screen_event> found;
        for (const auto& e : events)
            if (std::ranges::find(kinds, e.kind) != kinds.end())
                found.push_back(e);
        return found;
    }
    std::vector<std::string> texts(std::initializer_list<screen_event::kind_t> kinds) const {
        std::vector<std::string> found;
        for (const auto& e : of(kinds))
            found.push_back(e.text);
        return found;
    }
};

screen_run run(output_decoder&& decoder, const std::vector<std::string>& chunks) {
    screen_run r;
    for (const auto& chunk : chunks)
        if (chunk == "<quiet>")
            decoder.quiet(r.events);
        else
            decoder.feed(chunk, r.events);
    decoder.finish(r.events);
    for (const auto& e : r.events) {
        EXPECT_NE(e.kind, drawn_line) << e.text; // menus and boxes: the black-box games
        if (e.kind == story_text || e.kind == input_wait)
            r.text += e.kind == story_text ? e.text : "|";
    }
    return r;
}

screen_run dfrotz(const std::vector<std::string>& chunks, int width = 255) {
    return run(dfrotz_screen(width), chunks);
}

// dfrotz's rows: "NN" + type + " " + cells; "_\b" marks a reverse character
// and \x01 a reverse blank; '=' marks a row above the lower window.
std::string reverse(std::string_view text) {
    std::string s;
    for (char c : text)
        s += c == ' ' ? std::string("\x01") : std::string("_\b") + c;
    return s;
}

TEST(DfrotzScreen, AQuoteBoxOverOlderTextIsSaidAlone) {
    auto r = dfrotz({"05  Old text left   " + reverse("  Every lamp") + "\n",
                     "06  Hall\n", // a blank line of the box
                     "07  Old            " + reverse("  -- a saying") + "\n",
                     "08  [Press a key.]\n08) "});
    EXPECT_EQ(r.text, "Every lamp\n-- a saying\n[Press a key.]\n|");
}

TEST(DfrotzScreen, RowsTheInterpreterWrappedAreJoined) {
    // At width 20 "wraps" did not fit after "a line that": a wrap; "End." would
    // have fitted after "Do", nor does a gap wrap. A mark goes on unspaced.
    auto r = dfrotz({"04  It is a line that\n05  wraps here. Do\n06  End.\n... \n"
                     "09  A cheap demo game...\n10  ? Yes.\n"},
                    20);
    EXPECT_EQ(r.text, "It is a line that wraps here. Do\nEnd.\nA cheap demo game...? Yes.\n");
}

TEST(DfrotzScreen, ItsOwnQuestionsAreAskedAndAPromptEndsWhenQuietOrAtTheNextRow) {
    auto r = dfrotz({"12> >", "<quiet>", "Please enter a filename [x.qzl]: ",
                     "Overwrite existing file? ", "01  Ok.\n14> >15  Yes.\n16> >"});
    EXPECT_EQ(r.text, ">|Ok.\n>|Yes.\n>|");
    EXPECT_EQ(r.texts({file_prompt, question}),
              (std::vector<std::string>{"Please enter a filename [x.qzl]: ",
                                        "Overwrite existing file? "}));
    EXPECT_EQ(r.of({file_prompt}).at(0).file.usage, file_request::saved_game);
    // With commands typed ahead no quiet comes between them (a fuzzer's find).
    EXPECT_EQ(dfrotz({"02  Saving.\nPlease enter a filename [t.scr]: 03  Saved.\n04) "}).text,
              "Saving.\nSaved.\n|");
}

TEST(DfrotzScreen, AStatusLineLeftStandingAsTheUpperWindowShrankStaysTheStatusLine) {
    // The Quayside's opening through our dfrotz: its status line stays on
    // row 1 ('-') while the game waits for keys.
    auto r = dfrotz({"01- " + reverse(" Wait for the ferry!") + "\n... \n",
                     "04  The last ferry is late.\n05  \n06  [Press any key.]\n07) ",
                     "08  A horn sounds.\n09  \n10  [Press any key.]\n11) "});
    EXPECT_EQ(r.texts({status_line}), std::vector<std::string>{"Wait for the ferry!"});
    EXPECT_EQ(
        r.text,
        "The last ferry is late.\n\n[Press any key.]\n|A horn sounds.\n\n[Press any key.]\n|");
}

TEST(DfrotzScreen, TextOfAnotherInterpreterPassesUnchanged) {
    std::string text = "You said: look.\n\n>Line numbering is 07  here\n";
    EXPECT_EQ(dfrotz({text}).text, text);
    EXPECT_EQ(dfrotz({text.substr(0, 9), text.substr(9)}).text, text);
}

screen_run glk(const std::vector<std::string>& chunks) {
    return run(glk_screen(), chunks);
}

TEST(GlkProtocol, TheStoryIsHeardTheStatusGridKeptAndTheInputWaitTold) {
    // Two windows, as Inform's library opens them: a status grid above the story.
    auto r = glk(
        {R"({"type":"update","gen":1,"windows":[{"id":1,"type":"grid","rock":202,"top":0,)"
         R"("gridwidth":80,"gridheight":1},{"id":2,"type":"buffer","rock":201,"top":1}],)"
         R"("content":[{"id":1,"lines":[{"line":0,"content":[{"style":"normal","text":" Hall    Moves: 0"}]}]},)"
         R"({"id":2,"text":[{"content":[{"style":"header","text":"Lantern Hall"}]},{},)"
         R"({"content":[{"style":"normal","text":"A room. "},{"special":"image","image":1,"alttext":"A lantern."}]},)"
         R"({"content":[{"style":"normal","text":">"}]}]}],)"
         R"("input":[{"id":2,"gen":1,"type":"line","maxlen":255}]})",
         // The next update, split anywhere, with the player's command echoed.
         R"({"type":"update","gen":2,"content":[{"id":2,"text":[{"append":true,"content":)",
         R"([{"style":"input","text":"look"}]},{"content":[{"style":"normal","text":"Hall}"}]}]}],)"
         R"("input":[{"id":2,"gen":2,"type":"line"}],"timer":2000})"});
    EXPECT_EQ(r.texts({failure, write_failure}), std::vector<std::string>{});
    EXPECT_EQ(r.text, "Lantern Hall\n\nA room. [Picture: A lantern.]\n>|\nHall}|");
    EXPECT_EQ(r.texts({status_line}), (std::vector<std::string>{"Hall Moves: 0"}));
    auto inputs = r.of({input_wait});
    ASSERT_EQ(inputs.size(), 2u);
    EXPECT_EQ(inputs[1].input.window, 2);
    EXPECT_EQ(inputs[1].input.generation, 2);
    ASSERT_EQ(r.of({timer}).size(), 1u);
    EXPECT_EQ(r.of({timer})[0].number, 2000);
}

TEST(GlkProtocol, LinksAreListedAsTheWindowsNowStandEachTextOnce) {
    auto r = glk(
        {R"({"type":"update","gen":1,"windows":[{"id":2,"type":"buffer","rock":201,"top":2},)"
         R"({"id":1,"type":"grid","rock":7,"top":0,"gridwidth":40,"gridheight":2}],)"
         R"("content":[{"id":2,"text":[{"content":[{"text":"A "},{"text":"red ","hyperlink":5},)"
         R"({"text":"door","hyperlink":5},{"text":" and "},{"text":"Back","hyperlink":6}]}]},)"
         R"({"id":1,"lines":[{"line":0,"content":[{"text":"Go "},{"text":"North","hyperlink":1}]},)"
         R"({"line":1,"content":[{"text":"Back","hyperlink":2}]}]}],)"
         R"("input":[{"id":1,"gen":1,"hyperlink":true},{"id":2,"gen":1,"hyperlink":true}]})",
         // The story cleared, the grid shrunk and no longer waiting for a link.
         R"({"type":"update","gen":2,"windows":[{"id":2,"type":"buffer","rock":201,"top":1},)"
         R"({"id":1,"type":"grid","rock":7,"top":0,"gridwidth":40,"gridheight":1}],)"
         R"("content":[{"id":2,"clear":true,"text":[{"content":[{"text":"On","hyperlink":7}]}]}],)"
         R"("input":[{"id":2,"gen":2,"type":"line","hyperlink":true}]})",
         R"({"type":"update","gen":3,"input":[{"id":2,"gen":2,"type":"line","hyperlink":true}]})"});
    // From the top down; "Back" where it stands last; unchanged, not told again.
    auto told = r.of({link_choices});
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].links,
              (std::vector<game_link>{{"North", 1, 1}, {"red door", 2, 5}, {"Back", 2, 6}}));
    EXPECT_EQ(told[1].links, (std::vector<game_link>{{"On", 2, 7}}));
    auto inputs = r.of({input_wait});
    ASSERT_EQ(inputs.size(), 3u);
    EXPECT_EQ(inputs[0].input.kind, input_request::link);
    EXPECT_EQ(inputs[1].input.kind, input_request::line);
}

TEST(GlkProtocol, BadOrTruncatedUpdatesAreOneFailure) {
    for (std::string bad : {"not json", R"({"type":"update","gen":1,"windows":[}])",
                            R"({"type":"update","gen":1,"content":[{"id":)",
                            R"({"type":"error","message":"The story is not a Glulx game."})"})
        EXPECT_EQ(glk({bad, R"({"type":"update","gen":2})"}).of({failure}).size(), 1u) << bad;
    EXPECT_EQ(glk({R"({"type":"error","message":"No game."})"}).texts({failure}),
              (std::vector<std::string>{"No game."}));
}

// The reader over `decoder`, with what it said, handed on and played.
struct reading {
    hearing heard;
    std::vector<std::string> said;
    std::vector<output_item> items;
    std::vector<std::pair<std::int64_t, std::vector<glkote::sound_channel>>> played;
    output_reader reader;
    explicit reading(std::unique_ptr<output_decoder> decoder = std::make_unique<dfrotz_screen>(255))
        : reader(
              std::move(decoder), heard, [this](output_item i) { items.push_back(std::move(i)); },
              [this](const std::string& s) { said.push_back(s); },
              [this](std::int64_t gen, auto channels) { played.emplace_back(gen, channels); }) {}
};

TEST(GlkProtocol, ASoundIsDescribedOnceAsItStartsAndHandedOnWithItsUpdate) {
    reading r(std::make_unique<glk_screen>());
    r.reader.feed(R"({"type":"update","gen":4,"schannels":[{"id":1,"ops":[{"op":"play","snd":4,)"
                  R"("repeats":-1,"alttext":"A waltz."},{"op":"volume","vol":0.5}]},{"id":2}],)"
                  R"("content":[]})");
    r.reader.finish();
    EXPECT_EQ(r.said, std::vector<std::string>{"[Sound: A waltz.]\n"});
    ASSERT_FALSE(r.items.empty());
    EXPECT_EQ(r.items[0].kind, output_item::segment);
    EXPECT_EQ(r.items[0].raw, "[Sound: A waltz.]");
    using glkote::sound_op;
    std::vector<glkote::sound_channel> channels = {
        {1,
         {{.sound = 4, .repeats = -1, .alttext = "A waltz."},
          {.kind = sound_op::change_volume, .volume = 0.5}}},
        {2, {}}};
    EXPECT_EQ(r.played, (decltype(r.played){{4, channels}}));
}

TEST(Reader, EveryPauseAfterNewWordsIsToldButNotEachKeyOfAMenu) {
    reading r;
    for (auto rows :
         {"01  Back to the bookcase...\n02) ", "03  You always read the book in one go!\n04) ",
          // A menu drawn above the story: only the drawing changes.
          "01= > Read on\n02=   Stop\n05) ", "01=   Read on\n02= > Stop\n05) ",
          "06  Stopped.\n07> >"}) {
        r.reader.feed(rows);
        r.reader.quiet();
    }
    EXPECT_EQ(r.said, (std::vector<std::string>{"Back to the bookcase...\n", press_a_key,
                                                "You always read the book in one go!\n",
                                                press_a_key, "> Read on\n", "Stop\n", "Read on\n",
                                                "> Stop\n", "Stopped.\n"}));
}

TEST(Hearing, ASilencedReplyStaysSilentToItsEndAndTheNextIsHeard) {
    reading r;
    r.reader.feed("01  The first part.\n");
    r.reader.quiet();
    r.heard.silence_reply();
    r.reader.feed("02  The second part.\n03> >");
    r.reader.quiet();
    // Silencing between replies silences nothing to come.
    r.heard.silence_reply();
    r.reader.feed("04  The next reply.\n05) ");
    r.reader.quiet();
    // A reply begun but not yet said is silenced too.
    r.reader.feed("06  Held");
    r.heard.silence_reply();
    r.reader.feed(".\n07> >");
    r.reader.quiet();
    EXPECT_EQ(r.said,
              (std::vector<std::string>{"The first part.\n", "The next reply.\n", press_a_key}));
    std::string shown; // all of it shown
    for (const auto& i : r.items)
        shown += i.shown;
    EXPECT_EQ(shown, "The first part.\nThe second part.\nThe next reply.\nHeld.\n");
}

TEST(OutputPump, BatchesABoundedPieceClosesOnceAndHoldsBackAFlood) {
    int wakes = 0;
    output_pump pump([&] { ++wakes; });
    for (int i = 0; i < 10; ++i)
        pump.push({output_item::segment, std::string(100, 'x'), std::string(100, 'x')});
    EXPECT_EQ(wakes, 1); // one wake-up for a run of items
    auto first = pump.take(450);
    EXPECT_EQ(first.items.size(), 2u);
    EXPECT_TRUE(first.more);
    pump.close("errors");
    auto rest = pump.take(1 << 20);
    EXPECT_EQ(rest.items.size(), 8u);
    EXPECT_TRUE(rest.closed);
    EXPECT_EQ(rest.stderr_text, "errors");
    EXPECT_FALSE(pump.take(1 << 20).closed); // reported once

    // A full pump makes the writer wait until some is taken, or until it is
    // abandoned.
    output_pump full([] {});
    std::string big(output_pump::capacity, 'x');
    full.push({output_item::segment, big, {}});
    std::thread writer([&] {
        full.push({output_item::segment, "after", {}});
        full.push({output_item::segment, big, {}});
    });
    auto taken = full.take(1);
    EXPECT_EQ(taken.items.at(0).raw.size(), big.size());
    full.abandon();
    writer.join();
}

} // namespace
} // namespace tw
