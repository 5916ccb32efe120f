#pragma once
// The first screen, shown when no game runs: "Open a game.", "Choose a game
// from our database." and "Exit!".
#include "core/catalogue/file_names.h"

#include <wx/panel.h>

#include <filesystem>
#include <optional>
#include <string>

class wxWindow;

namespace tw {

// What the first screen needs of the window that holds it.
class first_screen_host {
  public:
    virtual wxWindow* dialog_parent() = 0;
    virtual const std::filesystem::path& save_folder() const = 0;
    // Starts `story` and shows it; tells the player and keeps the first
    // screen when it cannot be started. `note`, if any, is said first.
    virtual bool launch_game(const std::filesystem::path& story, const std::string& note) = 0;
    // "Exit!": the program ends.
    virtual void close_program() = 0;

  protected:
    ~first_screen_host() = default;
};

class first_screen : public wxPanel {
  public:
    first_screen(wxWindow* parent, first_screen_host& host);

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

    first_screen_host& host;
    std::filesystem::path catalogue_folder;
};

} // namespace tw
