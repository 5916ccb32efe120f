#pragma once
// The game screen: the input field, where the player types commands and
// chords, and the read-only output view. It owns the game being played and
// takes what the interpreter prints from it.
#include "core/text/command_history.h"
#include "core/story/transcript.h"
#include "core/text/turn_history.h"
#include "ui/game_session.h"

#include <wx/panel.h>
#include <wx/timer.h>

#include <filesystem>
#include <memory>
#include <string>

class wxTextCtrl;

namespace tw {

class main_frame;

// What the player did and heard, kept from one game to the next.
struct play_history {
    turn_history turns;
    command_history commands;
};

class game_screen : public wxPanel, private game_session::listener {
  public:
    game_screen(main_frame& frame, std::shared_ptr<game_session> session, play_history& history,
                const std::filesystem::path& story);
    ~game_screen() override;

    // Sends one command line as the player entered it: "quit" asks first,
    // "save" and "restore" open their dialogs instead.
    void sendline(const std::string& command);
    void focus_command_field();
    // Ends the interpreter at once, as closing the window does.
    void end_game() { session->end(); }

  private:
    void take_output(std::vector<output_item>& items) override;
    void game_over(std::string stderr_text) override;
    void finish();

    void on_enter(wxCommandEvent& event);
    void on_command_key(wxKeyEvent& event);
    void on_command_char(wxKeyEvent& event);
    void on_output_key(wxKeyEvent& event);
    void on_output_focus(wxFocusEvent& event);
    // What a chord did: nothing (not one of ours); its work; its work, and
    // the key goes on to the field.
    enum class chord { none, done, done_then_field };
    chord on_chord(wxKeyEvent& event);
    void walk_history(bool back);
    void change_text_size(int steps);
    void show_command(const std::string& text);
    void answer_key(const std::string& key);
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

    main_frame& frame;
    std::shared_ptr<game_session> session;
    play_history& history;
    transcript log;
    bool told_log_failure = false;
    wxTextCtrl* command_field = nullptr;
    wxTextCtrl* output_view = nullptr;
    std::string status_line;
    bool waiting_for_key = false;
    int handler_depth = 0;
    bool over = false;
    bool finishing = false;
    bool asked_to_end = false;
    std::string error_text;
    // After a confirmed quit, ends an interpreter that did not understand
    // "yes" (a game in another language asks again).
    wxTimer quit_timer;
};

} // namespace tw
