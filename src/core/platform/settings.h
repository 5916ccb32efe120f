#pragma once
// What the player chose and Tallowick remembers between runs: settings.json
// in the settings folder.
#include <filesystem>
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
};

// A missing file gives the defaults. So does a damaged or unreadable one,
// with a sentence saying why in `problem`.
player_settings load_settings(const std::filesystem::path& file, std::string& problem);
// Writes the settings, making the folder when missing. False when it cannot.
bool save_settings(const std::filesystem::path& file, const player_settings& settings);

// Turns the rate of its own an older Tallowick stored into an offset from
// the screen reader's rate as it is now (`reader_rate`; none: 0), so that the
// player goes on hearing the rate they chose. True when there was one to
// turn: the settings are to be saved then.
bool adopt_old_speech_rate(player_settings& settings, std::optional<int> reader_rate);

} // namespace tw
