#pragma once
// The game's conversation: what the interpreter is sent, and when. The
// player's intents (a command, a key, save, restore, quit) and the
// interpreter's output come in; what to write to the interpreter, what to
// show, what to say and what to ask the player go out. Free of windows, so
// that every rule here is reached by a unit test.
#include "core/game/session.h"
#include "core/story/transcript.h"
#include "core/text/command_history.h"
#include "core/text/turn_history.h"

#include <chrono>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tw {

// What the player did and heard, kept from one game to the next.
struct play_history {
    turn_history turns;
    command_history commands;
};

// The clocks a game runs: the game's own timer, which ticks until stopped,
// and the grace a game has to leave after a confirmed quit.
enum class game_clock { game_timer, quit_grace };

// What the conversation needs of the screen that shows the game.
class conversation_host {
  public:
    // Appends to the output view.
    virtual void show(const std::string& text) = 0;
    // Says `text`; `at_once` cuts short what is being said.
    virtual void say(const std::string& text, bool at_once) = 0;
    // The player's answers: a name ("" when they declined), yes or no to a
    // question of ours, a row of a list (none when dismissed).
    virtual std::string ask(const std::string& question) = 0;
    virtual bool confirm(const std::string& question) = 0;
    virtual std::optional<size_t> choose(const std::string& title,
                                         const std::vector<std::string>& rows) = 0;
    // Tells the player why something they asked for cannot be done.
    virtual void tell(const std::string& problem) = 0;
    // The command the player has half typed.
    virtual std::string half_typed() = 0;
    virtual void start_clock(game_clock clock, std::chrono::milliseconds after) = 0;
    virtual void stop_clock(game_clock clock) = 0;
    // Nothing more is typed: the game is being left.
    virtual void stop_typing() = 0;
    // The game is over, told once; `problem` says why when it ended badly.
    virtual void game_ended(const std::string& problem) = 0;

  protected:
    ~conversation_host() = default;
};

class game_conversation final : public game_listener {
  public:
    game_conversation(interpreter_link& interpreter, conversation_host& host,
                      play_history& history, std::filesystem::path save_folder,
                      const std::filesystem::path& story);

    // A command the player typed and entered: kept for Up and Down, then
    // sent as command() sends it.
    void enter(const std::string& command);
    // "quit" asks first and ends the game in any language; "save" and
    // "restore" go through our own dialogs; anything else goes to the game,
    // now or when it next waits for a command.
    void command(const std::string& command);
    void save();
    void restore();

    // Whether the game waits for one key, which the next key answers.
    bool waits_for_key() const;
    // Answers that wait; false when there is none, or when the key types
    // or edits a command the player has half typed.
    bool press(const key_press& key);
    // Lets the player choose one of the links the game waits for, by its
    // text, and tells the game which.
    void choose_link();

    void clock_rang(game_clock clock);
    void speak_status_line();

    void take_output(std::vector<output_item>& items) override;
    void game_over(std::string stderr_text, std::optional<int> status) override;
    bool over() const { return ended; }

  private:
    // A file the player has named in our own dialog, for the interpreter's
    // question that follows the command.
    struct named_file {
        std::string name;
        file_request::mode_t mode;
        bool replace = false;
    };

    void show(const std::string& text);
    void show_command(const std::string& text);
    void send_line(const std::string& text);
    // The player's input has been sent: the turn it began is shown.
    void input_went(const std::string& text);
    void answer_file_prompt(const output_item& prompt);
    void answer_question(const output_item& question);
    // The save the player chose in our list, or none (nothing to restore,
    // the list dismissed, or a save that cannot be restored here, said so).
    std::optional<std::string> choose_save();

    interpreter_link& interpreter;
    const interpreter_kind& kind;
    conversation_host& host;
    play_history& history;
    const std::filesystem::path save_folder;
    const std::filesystem::path story;
    transcript log;
    bool told_log_failure = false;
    std::string status_line;
    // The input the game waits for, if any, and the last it waited for.
    std::optional<input_request> waiting;
    input_request last_wait;
    // The links the game waits for.
    std::vector<game_link> links;
    // Commands typed while the game waits for none, for an interpreter that
    // cannot take them ahead.
    std::deque<std::string> typed_ahead;
    std::optional<named_file> file_to_name;
    // The line that answers the game's next wait for a command on the
    // player's behalf ("yes" to its own "Are you sure?" after ours).
    std::optional<std::string> next_line_answer;
    bool quitting = false;
    bool asked_to_end = false;
    bool ended = false;
    std::string problem;
};

} // namespace tw
