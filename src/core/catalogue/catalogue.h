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
    // The folder it was read from: a game's story kept there (the installed
    // sample) is played from there, never downloaded.
    std::filesystem::path folder;

    bool ok() const { return error.empty(); }
};

// A title in quotes, as valid UTF-8, for a message naming it.
std::string in_quotes(std::string_view title);

// Parses the text of games.json.
catalogue parse_catalogue(std::string_view text);
// Reads and parses one file.
catalogue load_catalogue(const std::filesystem::path& file);

// Where games.json is looked for, in order: `cwd`, `program_dir`, and
// <prefix>/share/tallowick where prefix is the parent of `program_dir` (the
// program lives in <prefix>/bin when installed). Returns the first that
// holds a regular file named games.json. Empty directories are skipped.
std::optional<std::filesystem::path> find_catalogue(const std::filesystem::path& cwd,
                                                    const std::filesystem::path& program_dir);

// Finds games.json (find_catalogue() with the working directory and the
// program's folder) and parses it.
catalogue load_catalogue();

} // namespace tw
