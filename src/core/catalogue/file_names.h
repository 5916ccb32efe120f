#pragma once
// Where a catalogue game's story file lives: a file name made safe from its
// title, directly inside the save folder.
#include "core/catalogue/catalogue.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace tw {

// A safe file name for a game: the title made fit for a file name on Windows
// and Linux, plus the extension of the address's last path segment. Never
// empty, never "." or "..", never begins with ".", holds no separator or
// control character, never ends in a dot or space, and is at most
// max_file_name bytes of UTF-8.
inline constexpr size_t max_file_name = 120;
std::string local_file_name(std::string_view title, std::string_view uri);

// The extension (without the dot) of the last path segment of `uri`, or ""
// when that segment has none or it is not 1 to 10 ASCII letters and digits.
// The query and the fragment are never looked at.
std::string uri_extension(std::string_view uri);

struct game_location {
    std::filesystem::path path; // save folder / file: tested, downloaded into, launched
    std::string file;           // the file name alone, UTF-8
    std::string uri;            // the address to fetch it from
    std::string error;          // a sentence for the player; empty on success

    bool ok() const { return error.empty(); }
};

// Checks the chosen entry's address and derives where its story file lives
// in `save_folder`. The path always lies directly inside `save_folder`.
game_location locate_game(const catalogue_entry& entry, const std::filesystem::path& save_folder);

} // namespace tw
