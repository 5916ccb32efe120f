#include "ui/main_frame.h"

#include "core/interpreter/interpreter.h"
#include "core/platform/platform.h"
#include "ui/accessibility.h"
#include "ui/first_screen.h"

#include <wx/accel.h>
#include <wx/sizer.h>

#include <cstdio>
#include <cstdlib>

namespace tw {

main_frame::main_frame(std::filesystem::path save_folder)
    : wxFrame(nullptr, wxID_ANY, "Tallowick, by Brennholt.", wxDefaultPosition, wxSize(350, 250)),
      saves(std::move(save_folder)) {
    set_accessible_name(this, "Tallowick, by Brennholt.");
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { close_program(); });
    show_first_screen();
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

bool main_frame::launch_game(const std::filesystem::path& story) {
    std::error_code ec;
    auto interpreter = find_interpreter(interpreter_candidates(std::filesystem::current_path(ec)));
    if (!interpreter) {
        message_box("The game interpreter dfrotz could not be found.", "Uh oh!",
                    wxOK | wxICON_INFORMATION);
        return false;
    }
    std::string error;
    auto session = game_session::start(*interpreter, story, saves, error);
    if (!session) {
        message_box(wxString::FromUTF8(error), "Uh oh!", wxOK | wxICON_INFORMATION);
        return false;
    }
    drop_screen();
    game = new game_screen(*this, std::move(session), history, saves);
    show_screen(game);
    Maximize();
    game->focus_command_field();
    return true;
}

void main_frame::close_program() {
    if (game)
        game->end_game();
    Destroy();
    std::fflush(nullptr);
    // Reader and speech threads may still run; leaving without static
    // destructors keeps them from racing the teardown.
    std::_Exit(1);
}

} // namespace tw
