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

// One game of each interpreter kind, with the events its reader would give;
// the fixture is the interpreter and the screen the conversation talks to,
// the player's answers given in advance.
class Conversation : public testing::TestWithParam<std::string>,
                     public interpreter_link,
                     public conversation_host {
  protected:
    Conversation() : game(*this, *this, history, saves.path(), lantern) {}

    const interpreter_kind& kind() const override { return *interpreter_for(GetParam()); }
    hearing& heard() override { return hearing_state; }
    bool send(std::string_view bytes) override {
        sent += bytes;
        return !bytes.empty();
    }
    void stop_interpreter(bool force) override { stops.push_back(force); }

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

    bool is_glk() const { return GetParam() == "glulxe"; }
    void feed(output_item item) {
        std::vector<output_item> items{std::move(item)};
        game.take_output(items);
    }
    input_request waiting(input_request::kind_t kind) const { return {kind, 7, generation}; }
    void wait_for(input_request::kind_t kind) {
        ++generation;
        output_item item{output_item::input_wait};
        item.input = waiting(kind);
        feed(item);
    }
    file_request saved_game(file_request::mode_t mode) const {
        return {mode, file_request::saved_game, generation};
    }
    // The interpreter's own question for a file's name, as each kind asks:
    // dfrotz's words say whether it reads or writes only to the player.
    void file_prompt(file_request::mode_t mode) {
        ++generation;
        output_item item{output_item::file_prompt};
        if (!is_glk())
            item.raw = item.shown = "Please enter a filename [castle.sav]: ";
        item.file = saved_game(is_glk() ? mode : file_request::unknown_mode);
        feed(item);
    }
    std::string take_sent() { return std::exchange(sent, {}); }
    std::string line(const std::string& text) const {
        return kind().line(text, waiting(input_request::line));
    }

    temp_dir saves;
    std::string sent;
    std::vector<bool> stops;
    hearing hearing_state;
    std::deque<std::string> names;
    std::deque<bool> answers;
    std::deque<std::optional<size_t>> choices;
    std::string field;
    std::string shown;
    std::vector<std::string> said, asked, told, listed, ended;
    std::chrono::milliseconds clocks[2] = {};
    bool typing = true;
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
    EXPECT_EQ(shown, ">look\n>inventory\n");
    EXPECT_EQ(history.commands.last(), "inventory");
}

TEST_P(Conversation, QuitEndsTheGameWhateverItsLanguage) {
    wait_for(input_request::line);
    answers = {false, true};
    game.command("quit");
    EXPECT_EQ(take_sent(), "") << "dismissed: the game goes on";
    EXPECT_TRUE(typing);

    game.command("quit");
    EXPECT_EQ(take_sent(), line("quit"));
    EXPECT_FALSE(typing);
    // The game's own question, in a language it alone knows, is answered
    // and not said; then it is given a second to leave.
    feed({output_item::segment, "¿Está seguro?", "¿Está seguro?\n"});
    EXPECT_FALSE(hearing_state.may_say_text());
    wait_for(input_request::line);
    EXPECT_EQ(take_sent(), line("yes"));
    EXPECT_EQ(clocks[1], kind().quit_grace());
    // It does not understand "yes": asked to end, then made to.
    wait_for(input_request::line);
    EXPECT_EQ(take_sent(), "");
    game.clock_rang(game_clock::quit_grace);
    game.clock_rang(game_clock::quit_grace);
    EXPECT_EQ(stops, (std::vector<bool>{false, true}));
    game.game_over("", 128 + 9);
    EXPECT_EQ(ended, std::vector<std::string>{""}) << "a quit is no crash";
    EXPECT_EQ(asked, (std::vector<std::string>(2, "Are you sure you wish to quit?")));
}

TEST_P(Conversation, SavingOverANameAsksFirstAndOnlyItsOwnPromptIsAnsweredForThePlayer) {
    write_file(saves / "castle.sav", "the old game");
    wait_for(input_request::line);
    names = {"castle", "castle"};
    answers = {false, true};
    game.save();
    EXPECT_EQ(take_sent(), "") << "not replaced: nothing saved";

    game.command("save");
    EXPECT_EQ(asked.back(), "A saved game named castle already exists. Replace it?");
    EXPECT_EQ(take_sent(), line("save"));
    file_prompt(file_request::write);
    EXPECT_EQ(take_sent(), kind().file_name("castle.sav", saved_game(file_request::write)));
    feed({output_item::question, "Overwrite existing file? ", "Overwrite existing file?\n"});
    EXPECT_EQ(take_sent(), kind().answer(true));
    EXPECT_TRUE(said.empty()) << "the player answered already";
    EXPECT_NE(shown.find(">castle.sav\n"), std::string::npos);
    if (is_glk()) { // a prompt to read is not the one named for writing
        choices = {std::nullopt};
        file_prompt(file_request::read);
        EXPECT_EQ(take_sent(), kind().file_name(std::nullopt, saved_game(file_request::read)));
    }
    // After the next wait for a command, any prompt is the game's own, and
    // the player names the file: its question heard and the name typed, or
    // in our dialog.
    wait_for(input_request::line);
    names = {"notes"};
    file_prompt(file_request::write);
    if (kind().asks_file_names_in_words()) {
        EXPECT_EQ(said, std::vector<std::string>{"Please enter a filename [castle.sav]: "});
        EXPECT_EQ(take_sent(), "");
        return;
    }
    EXPECT_EQ(asked.back(), "What would you like to name your game?");
    EXPECT_EQ(take_sent(), kind().file_name("notes.sav", saved_game(file_request::write)));
}

TEST_P(Conversation, ARestoreThatCannotWorkIsToldAndNothingIsSent) {
    wait_for(input_request::line);
    game.restore();
    EXPECT_EQ(told, std::vector<std::string>{"There are no save files."});

    // A save whose header names another game.
    write_file(saves / "other.sav",
               "FORM" + big_endian(4 + 8 + 14) + "IFZS" + iff_chunk("IFhd", std::string(13, 'x')));
    choices = {0};
    game.command("restore");
    EXPECT_EQ(listed, std::vector<std::string>{"other.sav"});
    EXPECT_EQ(told.back(),
              "The saved game other.sav was saved in another game, and cannot be restored in "
              "this one.");
    choices = {std::nullopt};
    game.restore();
    EXPECT_EQ(take_sent(), "");
}

TEST_P(Conversation, AKeyWaitIsAnsweredAtOnceAndNeverTakesAHalfTypedCommand) {
    field = "open the d";
    EXPECT_FALSE(game.press({key_press::none, "x"})) << "no key wanted: the key is typing";
    wait_for(input_request::key);
    EXPECT_TRUE(game.waits_for_key());
    EXPECT_FALSE(game.press({key_press::none, "o"})) << "a letter goes on into the command";
    EXPECT_FALSE(game.press({key_press::backspace})) << "and a key that edits it";
    EXPECT_TRUE(game.press({key_press::down}));
    EXPECT_EQ(take_sent(), kind().key({key_press::down}, waiting(input_request::key)));
    EXPECT_FALSE(game.press({key_press::down})) << "one key for one wait";
    wait_for(input_request::line);
    EXPECT_EQ(take_sent(), "") << "the half-typed command stays the player's";
    field.clear();
    wait_for(input_request::key);
    EXPECT_TRUE(game.press({key_press::none, "x"})) << "with nothing typed, any key answers";
    EXPECT_EQ(take_sent(), kind().key({key_press::none, "x"}, waiting(input_request::key)));
}

TEST_P(Conversation, ALinkIsChosenByItsTextWhileTheGameWaits) {
    game.choose_link();
    EXPECT_EQ(said, std::vector<std::string>{"There are no links."});
    output_item offered{output_item::link_choices};
    offered.links = {{"North", 3, 11}, {"South", 3, 12}};
    feed(offered);
    wait_for(input_request::link);
    choices = {std::nullopt, 1};
    game.choose_link();
    EXPECT_EQ(take_sent(), "") << "dismissed: nothing chosen";
    game.choose_link();
    EXPECT_EQ(asked, (std::vector<std::string>(2, "Please choose a link.")));
    EXPECT_EQ(listed, (std::vector<std::string>{"North", "South"}));
    EXPECT_EQ(take_sent(), kind().link({"South", 3, 12}, waiting(input_request::link)));
    if (is_glk()) {
        EXPECT_EQ(shown, ">South\n") << "the choice begins a turn, as a command does";
    }
}

TEST_P(Conversation, TheGamesTimerTicksWithTheHalfTypedCommand) {
    output_item timer{output_item::timer};
    timer.number = 500;
    feed(timer);
    EXPECT_EQ(clocks[0], 500ms);
    wait_for(input_request::line);
    field = "exa";
    game.clock_rang(game_clock::game_timer);
    EXPECT_EQ(take_sent(), kind().timer(waiting(input_request::line), "exa"));
    // A busy game's clock goes on, naming its last wait: it may poll for ticks.
    game.clock_rang(game_clock::game_timer);
    EXPECT_EQ(take_sent(), kind().timer({input_request::nothing, 0, generation}, {}));
    // A game that waits for nothing but its clock is still ticked.
    wait_for(input_request::nothing);
    game.clock_rang(game_clock::game_timer);
    EXPECT_EQ(take_sent(), kind().timer(waiting(input_request::nothing), "exa"));
    timer.number = 0;
    feed(timer);
    EXPECT_EQ(clocks[0], 0ms);
}

INSTANTIATE_TEST_SUITE_P(EachInterpreter, Conversation, testing::Values("dfrotz", "glulxe"),
                         [](const auto& info) { return info.param; });

} // namespace
} // namespace tw
