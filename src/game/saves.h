#pragma once
#include <filesystem>
#include <string>
#include <vector>

namespace tw {

// The names in `dir` ending in ".sav" (exactly, case-sensitively), sorted
// by name so every platform lists them alike. Empty when `dir` cannot be
// listed.
std::vector<std::string> list_save_files(const std::filesystem::path& dir);

} // namespace tw
