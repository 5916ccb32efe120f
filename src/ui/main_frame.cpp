#include "ui/main_frame.h"

#include "core/platform/platform.h"
#include "core/speech/speech.h"
#include "ui/accessibility.h"

#include <wx/accel.h>
#include <wx/sizer.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tw {
namespace {

// The frame's size before a screen is fitted into it.
const wxSize first_frame_size(350, 250);
// The status the program has always left with, by the close box and "Exit!"
// alike: launchers and scripts written for it may count on it, so a normal
// end keeps it.
constexpr int exit_status = 1;

} // namespace

main_frame::main_frame(std::filesystem::path save_folder)
    : wxFrame(nullptr, wxID_ANY, "Tallowick, by Brennholt.", wxDefaultPosition, first_frame_size),
      saves(std::move(save_folder)),
      preferences(settings_directory() / "settings.json", screen_reader_voice_file()) {
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
    show_screen(new first_screen(this, *this));
}

bool main_frame::launch_game(const std::filesystem::path& story, const std::string& note) {
    std::error_code ec;
    auto opening = game_session::open({story, saves, std::filesystem::current_path(ec), note});
    if (!opening.session) {
        message_box(wxString::FromUTF8(opening.problem), "Uh oh!", wxOK | wxICON_INFORMATION);
        return false;
    }
    // The screen reader's voice as it is now, before the game says a word.
    set_voice(preferences.voice_for_a_game());
    drop_screen();
    game = new game_screen(this, *this, std::move(opening.session), history, story);
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
    std::_Exit(exit_status);
}

} // namespace tw
