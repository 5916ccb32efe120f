#include "ui/main_frame.h"

#include "core/interpreter/interpreter.h"
#include "core/platform/platform.h"
#include "core/speech/speech.h"
#include "ui/accessibility.h"
#include "ui/first_screen.h"

#include <wx/accel.h>
#include <wx/sizer.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tw {

main_frame::main_frame(std::filesystem::path save_folder)
    : wxFrame(nullptr, wxID_ANY, "Tallowick, by Brennholt.", wxDefaultPosition, wxSize(350, 250)),
      saves(std::move(save_folder)),
      preferences(settings_directory() / "settings.json",
                  home_directory() / ".local/share/orca/user-settings.conf") {
    set_accessible_name(this, "Tallowick, by Brennholt.");
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { close_program(); });
}

void main_frame::drop_screen() {
    // Gone before the next screen is built, so that the focus the next one
    // sets is not moved again when the old one goes.
    if (screen)
        screen->Destroy();
    screen = nullptr;
    game = nullptr;
}

void main_frame::show_screen(wxPanel* next) {
    screen = next;
    // An empty table replaces whatever the previous screen installed.
    SetAcceleratorTable(wxAcceleratorTable());
    next->Show();
    next->Fit();
    next->Layout();
    // Without a sizer of its own the frame cannot fit itself to the screen,
    // and buttons would be cut off.
    auto* holder = new wxBoxSizer(wxVERTICAL);
    holder->Add(next, 1, wxEXPAND);
    SetSizer(holder);
    Show();
    Fit();
    Update();
    Refresh();
    Center();
}

void main_frame::show_first_screen() {
    drop_screen();
    show_screen(new first_screen(*this));
}

bool main_frame::launch_game(const std::filesystem::path& story, const std::string& note) {
    std::error_code ec;
    auto chosen = choose_interpreter(story, std::filesystem::current_path(ec));
    // The screen reader's voice as it is now, before the game says a word.
    if (chosen.kind)
        set_voice(preferences.voice_for_a_game());
    std::string error = chosen.problem;
    auto session = chosen.kind ? game_session::start(*chosen.kind, chosen.program, story, saves,
                                                     note, error)
                               : nullptr;
    if (!session) {
        message_box(wxString::FromUTF8(error), "Uh oh!", wxOK | wxICON_INFORMATION);
        return false;
    }
    drop_screen();
    game = new game_screen(this, *this, std::move(session), history, story);
    show_screen(game);
    Maximize();
    game->focus_command_field();
    return true;
}

void main_frame::game_ended() {
    // The frame swaps the screens once the game screen's handler has
    // returned.
    CallAfter(&main_frame::show_first_screen);
}

void main_frame::change_speech_rate(int steps) {
    set_voice(preferences.change_rate(steps));
    speak(steps > 0 ? "Faster." : "Slower.", true);
}

std::optional<int> main_frame::change_text_size(int steps, int current) {
    return preferences.change_text_size(steps, current);
}

void main_frame::close_program() {
    // Silent at once, and the speech service drops what it holds of ours
    // before the process goes.
    speech_close();
    if (game)
        game->end_game();
    Destroy();
    std::fflush(nullptr);
    // Reader and speech threads may still run; leaving without static
    // destructors keeps them from racing the teardown.
    std::_Exit(1);
}

} // namespace tw
