#include "core/platform/save_folder.h"

#include <system_error>

namespace tw {

std::optional<std::filesystem::path> choose_save_folder(const std::filesystem::path& cwd,
                                                        const std::filesystem::path& documents) {
    std::error_code ec;
    if (std::filesystem::exists(cwd / "games", ec))
        return std::filesystem::path("games");
    auto dir = documents / "Tallowick";
    if (std::filesystem::exists(dir, ec))
        return dir;
    if (!documents.empty() && std::filesystem::create_directory(dir, ec) && !ec)
        return dir;
    return std::nullopt;
}

} // namespace tw
