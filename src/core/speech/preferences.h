#pragma once
// What the player has chosen for how Tallowick sounds and looks, kept in
// settings.json: the rate, as an offset from the screen reader's, the text
// size and braille; and the screen reader's own voice, which Tallowick speaks with,
// read again for each game, since the player may have changed it since.
#include "core/platform/settings.h"
#include "core/speech/voice.h"

#include <filesystem>
#include <optional>

namespace tw {

class player_preferences {
  public:
    // `settings_file`: settings.json; `reader_file`: the screen reader's
    // settings (Orca's), which may not exist; none where the platform's
    // screen readers keep no voice for us to take.
    player_preferences(std::filesystem::path settings_file,
                       std::optional<std::filesystem::path> reader_file)
        : settings_file(std::move(settings_file)), reader_file(std::move(reader_file)) {}

    // The voice to speak with as a game starts: the screen reader's as it
    // is now, at the player's offset. The settings are read the first time,
    // and braille set as they say. A file that cannot be read is one line on
    // stderr, and the defaults.
    voice voice_for_a_game();
    // The voice after `steps` steps faster (+) or slower (-); remembered.
    voice change_rate(int steps);
    // The text size in points after `steps` larger or smaller than
    // `current`; with 0 steps, the one remembered (none: the toolkit's).
    std::optional<int> change_text_size(int steps, int current);
    // Braille on or off, remembered, and said: "Braille on." or "Braille
    // off.", on the braille display too.
    void toggle_braille();

  private:
    void load();
    void save();

    const std::filesystem::path settings_file;
    const std::optional<std::filesystem::path> reader_file;
    bool loaded = false;
    player_settings settings;
    voice speaking;
    std::optional<int> reader_rate; // the screen reader's, as last read
};

} // namespace tw
