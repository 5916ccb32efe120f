#pragma once
// The first screen, shown when no game runs: "Open a game.", "Choose a game
// from our database." and "Exit!".
#include "core/catalogue/file_names.h"

#include <wx/panel.h>

#include <filesystem>
#include <optional>
#include <string>

namespace tw {

class main_frame;

class first_screen : public wxPanel {
  public:
    explicit first_screen(main_frame& frame);

  private:
    void open_game(wxCommandEvent& event);
    void choose_from_catalogue(wxCommandEvent& event);
    // The chosen game's story file: where it already is, or downloaded (and
    // unpacked from a zip) into the save folder; none when that failed.
    struct story_found {
        std::filesystem::path path;
        std::string note; // for the player, when a zip held several stories
    };
    std::optional<story_found> find_or_fetch(const catalogue_entry& entry,
                                             const game_location& where);

    main_frame& frame;
    std::filesystem::path catalogue_folder;
};

} // namespace tw
