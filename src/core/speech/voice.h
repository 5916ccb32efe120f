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
// speech-dispatcher; a rate, pitch or volume the file leaves out is Orca's
// own default, as Orca sets it. None when there is no such file; none with
// a sentence in `problem` when it cannot be read.
std::optional<voice> orca_voice(const std::filesystem::path& settings_file, std::string& problem);

// The player's rate is kept as an offset from the screen reader's, so that
// a change of rate in the screen reader moves Tallowick's too.
//
// The rate to speak at: the screen reader's `reader_rate` (none: the
// service's default, taken as 0) moved by the player's `offset`, within
// speech-dispatcher's -100 to 100. None when there is neither: the service
// keeps its own.
std::optional<int> offset_rate(std::optional<int> reader_rate, std::optional<int> offset);

// One step of the rate, as Ctrl+Shift+Up and Down move it.
constexpr int rate_step = 10;

// The player's offset after `steps` steps faster (+) or slower (-). The
// offset never reaches past the ends of the range, so that the first step
// back at either end is heard.
int changed_rate_offset(std::optional<int> reader_rate, std::optional<int> offset, int steps);

} // namespace tw
