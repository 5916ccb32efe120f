// The game's conversation: what the interpreter is sent, for the player's
// commands, keys, saves, restores, quitting and the game's clock, against
// both kinds of interpreter with scripted events.
#include "core/game/conversation.h"
#include "core/interpreter/interpreter.h"
#include "support.h"

#include <deque>

namespace tw {
namespace {

using namespace test;
using namespace std::chrono_literals;

const fs::path lantern = binary_dir / "stories" / "lantern.z5";

// The interpreter, as the conversation sees it: what it was sent.
class recording_interpreter final : public interpreter_link {
  public:
    explicit recording_interpreter(const interpreter_kind& kind) : kind_(kind) {}
    const interpreter_kind& kind() const override { return kind_; }
    hearing& heard() override { return hearing_; }
    bool send(std::string_view bytes) override {
        sent += bytes;
        return !bytes.empty();
    }
    void stop_interpreter(bool force) override { stops.push_back(force); }

    std::string sent;
    std::vector<bool> stops;

  private:
    const interpreter_kind& kind_;
    hearing hearing_;
};

// The screen, as the conversation sees it: what it showed, said and asked,
// with the player's answers given in advance.
class scripted_screen final : public conversation_host {
  public:
    void show(const std::string& text) override { shown += text; }
    void say(const std::string& text, bool) override { said.push_back(text); }
    std::string ask(const std::string& question) override {
        asked.push_back(question);
        return next(names);
    }
    bool confirm(const std::string& question) override {
        asked.push_back(question);
        return next(answers);
    }
    std::optional<size_t> choose(const std::string& title,
                                 const std::vector<std::string>& rows) override {
        asked.push_back(title);
        listed = rows;
        return next(choices);
    }
    void tell(const std::string& problem) override { told.push_back(problem); }
    std::string half_typed() override { return field; }
    void start_clock(game_clock clock, std::chrono::milliseconds after) override {
        clocks[static_cast<int>(clock)] = after;
    }
    void stop_clock(game_clock clock) override { clocks[static_cast<int>(clock)] = 0ms; }
    void stop_typing() override { typing = false; }
    void game_ended(const std::string& problem) override { ended.push_back(problem); }

    template <class T> static T next(std::deque<T>& answers) {
        EXPECT_FALSE(answers.empty()) << "the player was asked once too often";
        if (answers.empty())
            return T{};
        T answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<std::string> names;
    std::deque<bool> answers;
    std::deque<std::optional<size_t>> choices;
    std::string field;
    std::string shown;
    std::vector<std::string> said, asked, told, listed, ended;
    std::chrono::milliseconds clocks[2] = {};
    bool typing = true;
};

// One game of each interpreter kind, with the events its reader would give.
class Conversation : public testing::TestWithParam<std::string> {
  protected:
    Conversation()
        : interpreter(*interpreter_for(GetParam())),
          game(interpreter, screen, history, saves.path(), lantern) {}

    bool is_glk() const { return GetParam() == "glulxe"; }
    void feed(output_item item) {
        std::vector<output_item> items{std::move(item)};
        game.take_output(items);
    }
    void wait_for(input_request::kind_t kind) {
        output_item item{output_item::input_wait};
        item.input = {kind, 7, ++generation};
        feed(item);
    }
    // The interpreter's own question for a file's name, as each kind asks.
    void file_prompt(file_request::mode_t mode) {
        output_item item{output_item::file_prompt};
        if (!is_glk())
            item.raw = item.shown = "Please enter a filename [castle.sav]: ";
        item.file = {mode, file_request::saved_game, ++generation};
        feed(item);
    }
    const interpreter_kind& kind() const { return interpreter.kind(); }
    std::string take_sent() { return std::exchange(interpreter.sent, {}); }
    std::string line(const std::string& text) const {
        return kind().line(text, {input_request::line, 7, generation});
    }

    temp_dir saves;
    recording_interpreter interpreter;
    scripted_screen screen;
    play_history history;
    game_conversation game;
    long generation = 0;
};

TEST_P(Conversation, CommandsTypedAheadWaitForAnInterpreterThatCannotTakeThem) {
    game.enter("look");
    game.enter("inventory");
    if (kind().takes_input_ahead()) {
        EXPECT_EQ(take_sent(), line("look") + line("inventory"));
        return;
    }
    EXPECT_EQ(take_sent(), "");
    wait_for(input_request::line);
    EXPECT_EQ(take_sent(), line("look"));
    // One command for each wait, in the order typed, each in its own turn.
    wait_for(input_request::line);
    EXPECT_EQ(take_sent(), line("inventory"));
    EXPECT_EQ(screen.shown, ">look\n>inventory\n");
    EXPECT_EQ(history.commands.last(), "inventory");
}

TEST_P(Conversation, QuitEndsTheGameWhateverItsLanguage) {
    wait_for(input_request::line);
    screen.answers = {false, true};
    game.command("quit");
    EXPECT_EQ(take_sent(), "") << "dismissed: the game goes on";
    EXPECT_TRUE(screen.typing);

    game.command("quit");
    EXPECT_EQ(take_sent(), line("quit"));
    EXPECT_FALSE(screen.typing);
    // The game's own question, in a language it alone knows, is answered
    // and not said; then it is given a second to leave.
    feed({output_item::segment, "¿Está seguro?", "¿Está seguro?\n"});
    wait_for(input_request::line);
    EXPECT_EQ(take_sent(), line("yes"));
    EXPECT_EQ(screen.clocks[1], kind().quit_grace());
    // It does not understand "yes": asked to end, then made to.
    wait_for(input_request::line);
    EXPECT_EQ(take_sent(), "");
    game.clock_rang(game_clock::quit_grace);
    game.clock_rang(game_clock::quit_grace);
    EXPECT_EQ(interpreter.stops, (std::vector<bool>{false, true}));
    game.game_over("", 128 + 9);
    EXPECT_EQ(screen.ended, std::vector<std::string>{""}) << "a quit is no crash";
    EXPECT_EQ(screen.asked, (std::vector<std::string>(2, "Are you sure you wish to quit?")));
}

TEST_P(Conversation, SavingOverANameAsksFirstAndAnswersTheInterpreterForThePlayer) {
    write_file(saves / "castle.sav", "the old game");
    wait_for(input_request::line);
    screen.names = {"castle", "castle"};
    screen.answers = {false, true};
    game.save();
    EXPECT_EQ(take_sent(), "") << "not replaced: nothing saved";

    game.command("save");
    EXPECT_EQ(screen.asked.back(), "A saved game named castle already exists. Replace it?");
    EXPECT_EQ(take_sent(), line("save"));
    file_prompt(file_request::write);
    EXPECT_EQ(take_sent(), kind().file_name("castle.sav", {file_request::write, file_request::saved_game, generation}));
    feed({output_item::question, "Overwrite existing file? ", "Overwrite existing file?\n"});
    EXPECT_EQ(take_sent(), kind().answer(true));
    EXPECT_TRUE(screen.said.empty()) << "the player answered already";
    EXPECT_NE(screen.shown.find(">castle.sav\n"), std::string::npos);
}

TEST_P(Conversation, AFileTheGameAsksForItselfIsNamedByThePlayer) {
    wait_for(input_request::line);
    screen.names = {"notes"};
    file_prompt(file_request::write);
    if (kind().asks_file_names_in_words()) {
        // Its question is heard, and the player types the name.
        EXPECT_EQ(screen.said, std::vector<std::string>{"Please enter a filename [castle.sav]: "});
        EXPECT_EQ(take_sent(), "");
        return;
    }
    EXPECT_EQ(screen.asked, std::vector<std::string>{"What would you like to name your game?"});
    EXPECT_EQ(take_sent(), kind().file_name("notes.sav", {file_request::write, file_request::saved_game, generation}));
}

TEST_P(Conversation, ARestoreThatCannotWorkIsToldAndNothingIsSent) {
    wait_for(input_request::line);
    game.restore();
    EXPECT_EQ(screen.told, std::vector<std::string>{"There are no save files."});

    // A save whose header names another game.
    write_file(saves / "other.sav",
               "FORM" + big_endian(4 + 8 + 14) + "IFZS" + iff_chunk("IFhd", std::string(13, 'x')));
    screen.choices = {0};
    game.command("restore");
    EXPECT_EQ(screen.listed, std::vector<std::string>{"other.sav"});
    EXPECT_EQ(screen.told.back(),
              "The saved game other.sav was saved in another game, and cannot be restored in "
              "this one.");
    screen.choices = {std::nullopt};
    game.restore();
    EXPECT_EQ(take_sent(), "");
}

TEST_P(Conversation, AKeyWaitIsAnsweredAtOnceAndNeverTakesAHalfTypedCommand) {
    screen.field = "open the d";
    EXPECT_FALSE(game.press({key_press::none, "x"})) << "no key wanted: the key is typing";
    wait_for(input_request::key);
    EXPECT_TRUE(game.waits_for_key());
    EXPECT_FALSE(game.press({key_press::none, "o"})) << "a letter goes on into the command";
    EXPECT_FALSE(game.press({key_press::backspace})) << "and a key that edits it";
    EXPECT_TRUE(game.press({key_press::down}));
    EXPECT_EQ(take_sent(), kind().key({key_press::down}, {input_request::key, 7, generation}));
    EXPECT_FALSE(game.press({key_press::down})) << "one key for one wait";
    wait_for(input_request::line);
    EXPECT_EQ(take_sent(), "") << "the half-typed command stays the player's";
    screen.field.clear();
    wait_for(input_request::key);
    EXPECT_TRUE(game.press({key_press::none, "x"})) << "with nothing typed, any key answers";
    EXPECT_EQ(take_sent(), kind().key({key_press::none, "x"}, {input_request::key, 7, generation}));
}

TEST_P(Conversation, ALinkIsChosenByItsTextWhileTheGameWaits) {
    game.choose_link();
    EXPECT_EQ(screen.said, std::vector<std::string>{"There are no links."});
    output_item offered{output_item::link_choices};
    offered.links = {{"North", 3, 11}, {"South", 3, 12}};
    feed(offered);
    wait_for(input_request::link);
    screen.choices = {std::nullopt, 1};
    game.choose_link();
    EXPECT_EQ(take_sent(), "") << "dismissed: nothing chosen";
    game.choose_link();
    EXPECT_EQ(screen.asked, (std::vector<std::string>(2, "Please choose a link.")));
    EXPECT_EQ(screen.listed, (std::vector<std::string>{"North", "South"}));
    EXPECT_EQ(take_sent(), kind().link({"South", 3, 12}, {input_request::link, 7, generation}));
    if (is_glk()) {
        EXPECT_EQ(screen.shown, ">South\n") << "the choice begins a turn, as a command does";
    }
}

TEST_P(Conversation, TheGamesTimerTicksWithTheHalfTypedCommand) {
    output_item timer{output_item::timer};
    timer.number = 500;
    feed(timer);
    EXPECT_EQ(screen.clocks[0], 500ms);
    wait_for(input_request::line);
    screen.field = "exa";
    game.clock_rang(game_clock::game_timer);
    EXPECT_EQ(take_sent(), kind().timer({input_request::line, 7, generation}, "exa"));
    // A busy game's clock goes on, naming its last wait: it may poll for ticks.
    game.clock_rang(game_clock::game_timer);
    EXPECT_EQ(take_sent(), kind().timer({input_request::nothing, 0, generation}, {}));
    // A game that waits for nothing but its clock is still ticked.
    wait_for(input_request::nothing);
    game.clock_rang(game_clock::game_timer);
    EXPECT_EQ(take_sent(), kind().timer({input_request::nothing, 7, generation}, "exa"));
    timer.number = 0;
    feed(timer);
    EXPECT_EQ(screen.clocks[0], 0ms);
}

INSTANTIATE_TEST_SUITE_P(EachInterpreter, Conversation,
                         testing::Values("dfrotz", "glulxe"),
                         [](const auto& info) { return info.param; });

} // namespace
} // namespace tw
