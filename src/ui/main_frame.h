#pragma once
// The program's one frame. It shows one screen at a time, the first screen
// or the game screen, and swaps them; every other window is a modal dialog.
// It keeps what outlives a game: the history of play, and the player's
// voice and text size.
#include "core/speech/preferences.h"
#include "ui/first_screen.h"
#include "ui/game_screen.h"

#include <wx/frame.h>

#include <filesystem>

namespace tw {

class main_frame : public wxFrame, private first_screen_host, private game_host {
  public:
    // Hidden until the first screen or a game is shown in it.
    explicit main_frame(std::filesystem::path save_folder);

    void show_first_screen();
    bool launch_game(const std::filesystem::path& story, const std::string& note) override;
    // The close box and "Exit!": ends a running game and the program.
    void close_program() override;
    // The player silenced speech: the rest of the game's reply is not said.
    void silence_reply() {
        if (game)
            game->silence_reply();
    }

  private:
    wxWindow* dialog_parent() override { return this; }
    const std::filesystem::path& save_folder() const override { return saves; }
    void change_speech_rate(int steps) override;
    std::optional<int> change_text_size(int steps, int current) override;
    void toggle_braille() override { preferences.toggle_braille(); }
    void game_ended() override;

    void drop_screen();
    void show_screen(wxPanel* next);

    const std::filesystem::path saves;
    wxPanel* screen = nullptr;
    game_screen* game = nullptr;
    play_history history;
    player_preferences preferences;
};

} // namespace tw
