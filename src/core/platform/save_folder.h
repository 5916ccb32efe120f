#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tw {

// Where story files and saves live: "games" in the working directory when
// such an entry exists (a portable copy), otherwise Tallowick in the user's
// documents folder, created when missing. Only that last folder is created,
// never its parents. None when it cannot be created.
std::optional<std::filesystem::path> choose_save_folder(const std::filesystem::path& cwd,
                                                        const std::filesystem::path& documents);

// The names in `dir` ending in ".sav" (exactly, case-sensitively), sorted
// by name so that every platform lists them alike. Empty when `dir` cannot
// be listed.
std::vector<std::string> list_save_files(const std::filesystem::path& dir);

} // namespace tw
