#pragma once
#include <filesystem>
#include <optional>

namespace tw {

// Where story files and saves live: "games" in the working directory when
// such an entry exists (a portable copy), otherwise Documents/Tallowick in
// the user's home, created when missing. Only that last directory is
// created, never its parents. None when it cannot be created.
std::optional<std::filesystem::path> choose_savepath(const std::filesystem::path& cwd,
                                                     const std::filesystem::path& home);

// The user's home directory as the platform knows it.
std::filesystem::path home_directory();

} // namespace tw
