#pragma once
// What the player chose and Tallowick remembers between runs: settings.json
// in the settings folder.
#include <filesystem>
#include <optional>
#include <string>

namespace tw {

struct player_settings {
    std::optional<int> speech_rate; // speech-dispatcher's -100 to 100
    std::optional<int> text_size;   // in points
};

// A missing file gives the defaults. So does a damaged or unreadable one,
// with a sentence saying why in `problem`.
player_settings load_settings(const std::filesystem::path& file, std::string& problem);
// Writes the settings, making the folder when missing. False when it cannot.
bool save_settings(const std::filesystem::path& file, const player_settings& settings);

} // namespace tw
