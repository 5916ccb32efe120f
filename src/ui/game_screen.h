#pragma once
// The game screen: the input field, where the player types commands and
// chords, and the read-only output view. It wires them to the game's
// conversation (src/core/game), which decides what the interpreter is sent.
#include "core/game/conversation.h"
#include "core/game/session.h"

#include <wx/panel.h>
#include <wx/timer.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

class wxTextCtrl;

namespace tw {

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

class game_screen : public wxPanel, private conversation_host {
  public:
    // Shows `session`'s game and starts reading it.
    game_screen(wxWindow* parent, game_host& host, std::shared_ptr<game_session> session,
                play_history& history, const std::filesystem::path& story);
    ~game_screen() override;

    void focus_command_field();
    // Ends the interpreter at once, as closing the window does.
    void end_game() { session->end(); }
    void silence_reply() { session->heard().silence_reply(); }

  private:
    // conversation_host
    void show(const std::string& text) override;
    void say(const std::string& text, bool at_once) override;
    std::string ask(const std::string& question) override;
    bool confirm(const std::string& question) override;
    std::optional<size_t> choose(const std::string& title,
                                 const std::vector<std::string>& rows) override;
    void tell(const std::string& problem) override;
    std::string half_typed() override;
    void start_clock(game_clock clock, std::chrono::milliseconds after) override;
    void stop_clock(game_clock clock) override;
    void stop_typing() override;
    void game_ended(const std::string& problem) override;

    void drain();
    void finish();

    void on_enter(wxCommandEvent& event);
    void on_command_key(wxKeyEvent& event);
    void on_command_char(wxKeyEvent& event);
    void on_output_key(wxKeyEvent& event);
    void on_output_char(wxKeyEvent& event);
    void on_output_focus(wxFocusEvent& event);
    // What a chord did: nothing (not one of ours); its work; its work, and
    // the key goes on to the field.
    enum class chord_done { none, done, done_then_field };
    chord_done on_chord(wxKeyEvent& event);
    bool answer_special_key(wxKeyEvent& event);
    void walk_history(bool back);
    void change_text_size(int steps);

    // A dialog opened from a handler of this screen runs its loop inside
    // that handler; the screen must not be torn down under it. Handlers
    // hold one of these, and the end of the game waits for the last.
    struct handler_scope {
        explicit handler_scope(game_screen& s) : screen(s) { ++screen.handler_depth; }
        ~handler_scope();
        game_screen& screen;
    };

    game_host& host;
    std::shared_ptr<game_session> session;
    play_history& history;
    game_conversation conversation;
    wxTextCtrl* command_field = nullptr;
    wxTextCtrl* output_view = nullptr;
    int handler_depth = 0;
    bool over = false;
    bool finishing = false;
    std::string problem;
    // Each its own owner: their events go to their own handlers.
    wxTimer game_timer;
    wxTimer quit_timer;
    // Brings the screen back for output the session still held after a
    // drain.
    wxTimer drain_timer;
    // What the reader's wake-ups find this screen through: gone with it, so
    // a wake-up that comes after is dropped.
    std::shared_ptr<game_screen*> alive;
};

} // namespace tw
