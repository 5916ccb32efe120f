#pragma once
// The first screen, shown when no game runs: "Open a game.", "Choose a game
// from our database." and "Exit!".
#include <wx/panel.h>

namespace tw {

class main_frame;

class first_screen : public wxPanel {
  public:
    explicit first_screen(main_frame& frame);

  private:
    void open_game(wxCommandEvent& event);
    void choose_from_catalogue(wxCommandEvent& event);

    main_frame& frame;
};

} // namespace tw
