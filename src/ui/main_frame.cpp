#include "ui/main_frame.h"

#include "core/interpreter/interpreter.h"
#include "core/story/story_file.h"
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
      saves(std::move(save_folder)) {
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
    auto checked = check_story(story);
    if (checked.format == story_format::unplayable) {
        message_box(wxString::FromUTF8(checked.problem), "Uh oh!", wxOK | wxICON_INFORMATION);
        return false;
    }
    const auto& kind = interpreter_for(checked.format);
    std::error_code ec;
    auto interpreter = find_interpreter(kind, std::filesystem::current_path(ec));
    if (!interpreter) {
        message_box("The game interpreter " + kind.program() + " could not be found.", "Uh oh!",
                    wxOK | wxICON_INFORMATION);
        return false;
    }
    std::string error;
    auto session = game_session::start(kind, *interpreter, story, saves, note, error);
    if (!session) {
        message_box(wxString::FromUTF8(error), "Uh oh!", wxOK | wxICON_INFORMATION);
        return false;
    }
    load_player_settings();
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

void main_frame::load_player_settings() {
    if (settings_loaded)
        return;
    settings_loaded = true;
    std::string problem;
    settings = load_settings(settings_directory() / "settings.json", problem);
    // The player's screen reader's voice, unless it is Orca's and cannot be
    // read: one line on stderr, and the service's own voice.
    auto orca = home_directory() / ".local/share/orca/user-settings.conf";
    if (auto v = orca_voice(orca, problem))
        speaking = *v;
    if (!problem.empty())
        std::fprintf(stderr, "tallowick: %s\n", problem.c_str());
    if (settings.speech_rate)
        speaking.rate = settings.speech_rate;
    set_voice(speaking);
}

void main_frame::save_player_settings() {
    if (!save_settings(settings_directory() / "settings.json", settings))
        std::fprintf(stderr, "tallowick: the settings could not be saved\n");
}

void main_frame::change_speech_rate(int steps) {
    constexpr int step = 10;
    int rate = std::clamp(speaking.rate.value_or(0) + steps * step, -100, 100);
    speaking.rate = settings.speech_rate = rate;
    set_voice(speaking);
    speak(steps > 0 ? "Faster." : "Slower.", true);
    save_player_settings();
}

std::optional<int> main_frame::change_text_size(int steps, int current) {
    if (steps == 0)
        return settings.text_size;
    constexpr int smallest = 6, largest = 72;
    settings.text_size = std::clamp(current + 2 * steps, smallest, largest);
    save_player_settings();
    return settings.text_size;
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
