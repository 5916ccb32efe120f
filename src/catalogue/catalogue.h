#pragma once
// The game catalogue, games.json: a JSON object whose members, in file
// order, are the games the player may choose from. Each member's name is the
// title and its value an array [description, author, address, ...]. Every
// failure comes back as a sentence for the player, never as an exception.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

struct catalogue_entry {
    std::string title;
    std::string description; // element 0
    std::string author;      // element 1
    // Element 2 when it is a non-empty string. Only the chosen entry's
    // address is checked (by locate_game), so one faulty address does not
    // hide the other games.
    std::optional<std::string> uri;

    // The chooser's line: "<title> by <author>: <description>".
    std::string line() const;
};

struct catalogue {
    std::vector<catalogue_entry> entries; // in file order
    std::string error;                    // a sentence for the player; empty on success

    bool ok() const { return error.empty(); }
};

// Parses the text of games.json.
catalogue parse_catalogue(std::string_view text);
// Reads and parses one file.
catalogue load_catalogue(const std::filesystem::path& file);
// Finds games.json and parses it: the working directory first, then beside
// the program, then in the installed data directory.
catalogue load_catalogue();

// Where games.json is looked for, in order: `cwd`, `program_dir`, and
// <prefix>/share/tallowick where prefix is the parent of `program_dir` (the
// program lives in <prefix>/bin when installed). Returns the first that
// holds a regular file named games.json. Empty directories are skipped.
std::optional<std::filesystem::path> find_catalogue(const std::filesystem::path& cwd,
                                                    const std::filesystem::path& program_dir);

// The directory of the running program; empty when it cannot be told.
// One implementation per platform.
std::filesystem::path program_directory();

// The chooser lines of all entries, in order.
std::vector<std::string> chooser_lines(const catalogue& cat);

// A UTF-8 file name, as a path, on every platform.
std::filesystem::path path_from_utf8(std::string_view utf8);

// A safe file name for a game: the title made fit for a file name on Windows
// and Linux, plus the extension of the address's last path segment. Never
// empty, never "." or "..", never begins with ".", holds no separator or
// control character, and is at most max_file_name bytes of UTF-8.
inline constexpr size_t max_file_name = 120;
std::string local_file_name(std::string_view title, std::string_view uri);

// The extension (without the dot) of the last path segment of `uri`, or ""
// when that segment has none or it is not 1 to 10 ASCII letters and digits.
// The query and the fragment are never looked at.
std::string uri_extension(std::string_view uri);

struct game_location {
    std::filesystem::path path; // savepath / file: tested, downloaded into, launched
    std::string file;           // the file name alone, UTF-8
    std::string uri;            // the address to fetch it from
    std::string error;          // a sentence for the player; empty on success

    bool ok() const { return error.empty(); }
};

// Checks the chosen entry's address and derives where its story file lives
// under `savepath`. The path is always directly inside `savepath`.
game_location locate_game(const catalogue_entry& entry, const std::filesystem::path& savepath);

} // namespace tw
