#pragma once
// The program's one frame. It shows one screen at a time, the first screen
// or the game screen, and swaps them; every other window is a modal dialog.
#include "ui/game_screen.h"

#include <wx/frame.h>

#include <filesystem>

namespace tw {

class main_frame : public wxFrame {
  public:
    explicit main_frame(std::filesystem::path save_folder);

    void show_first_screen();
    // Starts `story` and shows the game screen; tells the player and keeps
    // the current screen when the interpreter cannot be started.
    bool launch_game(const std::filesystem::path& story);
    // The close box and "Exit!": ends a running game and the program.
    void close_program();

    const std::filesystem::path& save_folder() const { return saves; }

  private:
    void drop_screen();
    void show_screen(wxPanel* next);

    const std::filesystem::path saves;
    wxPanel* screen = nullptr;
    game_screen* game = nullptr;
    play_history history;
};

} // namespace tw
