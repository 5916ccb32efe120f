#pragma once
#include "game/history.h"

#include <wx/frame.h>
#include <wx/timer.h>

#include <filesystem>
#include <memory>
#include <string>

class wxPanel;
class wxTextCtrl;

namespace tw {

class game_session;

// The directory that holds downloaded story files and save files, and in
// which the interpreter runs. Fixed once at start-up.
extern std::filesystem::path savepath;

class Mywin : public wxFrame {
  public:
    Mywin(wxWindow* parent, const wxString& title);
    ~Mywin() override;

    // app/mywin_ui.cpp
    void closeme(wxEvent& event);
    void firstscreen();
    void showpanel(wxPanel* panel);
    void openfile(wxCommandEvent& event);

    // game/game_ui.cpp
    bool launch_game(const std::filesystem::path& path);
    void mainscreen();
    void sendline(const std::string& text);
    void check_game_status(wxTimerEvent& event);
    void process_enter(wxCommandEvent& event);

    // game/keys_ui.cpp
    void keypress2(wxKeyEvent& event);
    void keypress(wxKeyEvent& event);
    void shiftpos(wxFocusEvent& event);

    // game/saves_ui.cpp
    void savedialog();
    void restoredialog();

    // dialogs/ask_ui.cpp. Returns "" when cancelled.
    static wxString ask(wxWindow* parent, const wxString& message,
                        const wxString& default_value = wxString());

    // catalogue/database_ui.cpp
    void database(wxCommandEvent& event);

    const turn_history& history() const { return turns; }
    std::string last_input;
    wxPanel* panel = nullptr;
    wxTextCtrl* t1 = nullptr;
    wxTextCtrl* t2 = nullptr;
    wxTimer timer;
    std::filesystem::path path;
    // The running game, or the last one after it ended.
    std::shared_ptr<game_session> handle;

    // Hand-offs from a game's threads, on the GUI thread.
    void take_output(game_session& session);
    void end_game_if_over(game_session& session);

  private:
    // Ends the current game's interpreter and lets go of it.
    void retire_session();
    turn_history turns;
    bool game_screen_live = false;
    // Game-screen handlers on the stack; a dialog they run keeps the screen.
    int in_game_handler = 0;
    friend struct game_handler_scope;
};

struct game_handler_scope {
    explicit game_handler_scope(Mywin& w) : win(w) { ++win.in_game_handler; }
    ~game_handler_scope() { --win.in_game_handler; }
    game_handler_scope(const game_handler_scope&) = delete;
    game_handler_scope& operator=(const game_handler_scope&) = delete;
    Mywin& win;
};

} // namespace tw
