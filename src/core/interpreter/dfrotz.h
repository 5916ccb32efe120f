#pragma once
// Our dfrotz: the dumb interface of Frotz 2.55, built with our patches
// (frotz/patches/). How it is started, how the rows of its screen are
// written, and how the player's input is put to it; dfrotz_screen reads the
// rows.
#include "core/interpreter/process.h"
#include "core/interpreter/screen_event.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tw::dfrotz {

// The screen it is given: the Z-machine's widest, so that it wraps as few
// lines as it can, and tall enough that a menu or a status window of several
// rows fits whole.
constexpr int screen_width = 255;
constexpr int screen_height = 100;
// How it writes a blank in reverse video (a status bar's padding, a quote
// box's border), which would otherwise look like any other blank.
constexpr char reverse_blank = '\x01';

launch_options launch(const std::filesystem::path& interpreter, const std::filesystem::path& story,
                      const std::filesystem::path& workdir);

// One line of input: every backslash doubled, since dfrotz takes "\"
// sequences on any input line as its own hot keys (one quits without
// asking), and a line end.
std::string line(std::string_view text);
// The answer to a wait for one key: dfrotz reads a line and takes its first
// character, or its own escape for a key that has none.
std::string key(const key_press& key);

// A sentence for the player when the interpreter is older than Frotz 2.55,
// whose dumb interface drops bold and underlined text; none otherwise, and
// none when its version cannot be told.
std::optional<std::string> notice(const std::filesystem::path& interpreter);

} // namespace tw::dfrotz
