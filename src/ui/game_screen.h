#pragma once
// The game screen: the input field, where the player types commands and
// chords, and the read-only output view. It owns the game being played and
// takes what the interpreter prints from it.
#include "core/story/transcript.h"
#include "core/text/command_history.h"
#include "core/text/turn_history.h"
#include "ui/game_session.h"

#include <wx/panel.h>
#include <wx/timer.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

class wxTextCtrl;

namespace tw {

// What the player did and heard, kept from one game to the next.
struct play_history {
    turn_history turns;
    command_history commands;
};

// What the game screen needs of the window that holds it.
class game_host {
  public:
    virtual wxWindow* dialog_parent() = 0;
    virtual const std::filesystem::path& save_folder() const = 0;
    // Speech one step faster (+1) or slower (-1), said at the new rate.
    virtual void change_speech_rate(int steps) = 0;
    // The text size in points after `steps` larger or smaller; 0 for the
    // remembered one (or none, for the toolkit's own).
    virtual std::optional<int> change_text_size(int steps, int current) = 0;
    virtual void toggle_braille() = 0; // said, as "Braille on." or "Braille off."
    // The game has ended; called from a handler, acted on after it.
    virtual void game_ended() = 0;

  protected:
    ~game_host() = default;
};

class game_screen : public wxPanel, private game_session::listener {
  public:
    game_screen(wxWindow* parent, game_host& host, std::shared_ptr<game_session> session,
                play_history& history, const std::filesystem::path& story);
    ~game_screen() override;

    // Sends one command line as the player entered it: "quit" asks first,
    // "save" and "restore" open their dialogs instead.
    void sendline(const std::string& command);
    void focus_command_field();
    // Ends the interpreter at once, as closing the window does.
    void end_game() { session->end(); }
    void silence_reply() { session->heard().silence_reply(); }

  private:
    void take_output(std::vector<output_item>& items) override;
    void game_over(std::string stderr_text, std::optional<int> status) override;
    void finish();

    void on_enter(wxCommandEvent& event);
    void on_command_key(wxKeyEvent& event);
    void on_command_char(wxKeyEvent& event);
    void on_output_key(wxKeyEvent& event);
    void on_output_char(wxKeyEvent& event);
    void on_output_focus(wxFocusEvent& event);
    void on_game_timer(wxTimerEvent& event);
    // What a chord did: nothing (not one of ours); its work; its work, and
    // the key goes on to the field.
    enum class chord_done { none, done, done_then_field };
    chord_done on_chord(wxKeyEvent& event);
    bool answer_special_key(wxKeyEvent& event);
    void walk_history(bool back);
    void change_text_size(int steps);
    void show(const std::string& text);
    void show_command(const std::string& text);
    void send_line(const std::string& text);
    void answer_key(const key_press& key);
    void answer_file_prompt(const output_item& prompt);
    // The save the player chose in our list, or none (nothing to restore,
    // the list dismissed, or a save that cannot be restored here, said so).
    std::optional<std::string> choose_save();
    void answer_question(const output_item& question);
    void save_game();
    void restore_game();
    void speak_status_line();

    // A dialog opened from a handler of this screen runs its loop inside
    // that handler; the screen must not be torn down under it. Handlers
    // hold one of these, and the end of the game waits for the last.
    struct handler_scope {
        explicit handler_scope(game_screen& s) : screen(s) { ++screen.handler_depth; }
        ~handler_scope();
        game_screen& screen;
    };

    // A file the player has named in our own dialog, for the interpreter's
    // question that follows the command.
    struct named_file {
        std::string name;
        file_request::mode_t mode;
        bool replace = false;
    };

    game_host& host;
    std::shared_ptr<game_session> session;
    const interpreter_kind& kind;
    const std::filesystem::path story;
    play_history& history;
    transcript log;
    bool told_log_failure = false;
    wxTextCtrl* command_field = nullptr;
    wxTextCtrl* output_view = nullptr;
    std::string status_line;
    // The input the game waits for, if any.
    std::optional<input_request> waiting;
    // Commands typed while the game waits for none, for an interpreter that
    // cannot take them ahead.
    std::deque<std::string> typed_ahead;
    std::optional<named_file> file_to_name;
    // The line that answers the game's next wait for a command on the
    // player's behalf ("yes" to its own "Are you sure?" after ours).
    std::optional<std::string> next_line_answer;
    int handler_depth = 0;
    bool over = false;
    bool finishing = false;
    bool quitting = false;
    bool asked_to_end = false;
    std::string error_text;
    // After a confirmed quit, ends an interpreter that did not understand
    // "yes" (a game in another language asks again).
    wxTimer quit_timer;
    // The game's own timer, while it wants one.
    wxTimer game_timer;
};

} // namespace tw
