#pragma once
// What the player chose and Tallowick remembers between runs: settings.json
// in the settings folder.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace tw {

struct player_settings {
    // How much faster (+) or slower (-) than the screen reader Tallowick
    // speaks, in speech-dispatcher's steps; none: as fast.
    std::optional<int> speech_rate_offset;
    std::optional<int> text_size; // in points
    // The rate of its own that an older Tallowick stored (speech-dispatcher's
    // -100 to 100). Written back only until adopt_old_speech_rate() has made
    // it an offset.
    std::optional<int> speech_rate;
    // Whether what is spoken also goes to the braille display.
    bool braille = false;
    // The game's sounds: heard (or off), how much softer than the game
    // made them (in steps), and their descriptions said and shown.
    std::optional<bool> game_sounds = std::nullopt;
    std::optional<int> sound_level = std::nullopt;
    std::optional<bool> sound_descriptions = std::nullopt;
};

// settings.json in the settings folder.
std::filesystem::path settings_file();

// A missing file gives the defaults. So does a damaged or unreadable one,
// with a sentence saying why in `problem`.
player_settings load_settings(const std::filesystem::path& file, std::string& problem);
// Writes the settings, making the folder when missing. False when it cannot.
bool save_settings(const std::filesystem::path& file, const player_settings& settings);
// Reads the settings, lets `change` set what it owns, and writes them: the
// layers that keep settings of their own each change only theirs.
bool update_settings(const std::filesystem::path& file,
                     const std::function<void(player_settings&)>& change);

// Turns the rate of its own an older Tallowick stored into an offset from
// the screen reader's rate as it is now (`reader_rate`; none: 0), so that the
// player goes on hearing the rate they chose. True when there was one to
// turn: the settings are to be saved then.
bool adopt_old_speech_rate(player_settings& settings, std::optional<int> reader_rate);

} // namespace tw
