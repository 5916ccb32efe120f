#pragma once
// How to speak: the player's screen reader's voice, so that Tallowick sounds
// alike, with the rate the player sets in Tallowick.
#include <filesystem>
#include <optional>
#include <string>

namespace tw {

struct voice {
    // speech-dispatcher's ranges, -100 to 100; none: the service's default.
    std::optional<int> rate;
    std::optional<int> pitch;
    std::optional<int> volume;
    std::string module; // the synthesizer; "": the service's default
    std::string name;   // the synthesis voice; "": the synthesizer's default
};

// The default voice in the Orca screen reader's settings file
// (~/.local/share/orca/user-settings.conf, JSON), mapped as Orca maps it to
// speech-dispatcher. None when there is no such file; none with a sentence
// in `problem` when it cannot be read.
std::optional<voice> orca_voice(const std::filesystem::path& settings_file, std::string& problem);

} // namespace tw
