#pragma once
#include <filesystem>
#include <optional>

namespace tw {

// Where story files and saves live: "games" in the working directory when
// such an entry exists (a portable copy), otherwise Tallowick in the user's
// documents folder, created when missing. Only that last folder is created,
// never its parents. None when it cannot be created.
std::optional<std::filesystem::path> choose_save_folder(const std::filesystem::path& cwd,
                                                        const std::filesystem::path& documents);

} // namespace tw
