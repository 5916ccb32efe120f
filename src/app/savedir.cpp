#include "app/savedir.h"

#include <cstdlib>
#include <system_error>

namespace tw {

std::optional<std::filesystem::path> choose_savepath(const std::filesystem::path& cwd,
                                                     const std::filesystem::path& home) {
    std::error_code ec;
    if (std::filesystem::exists(cwd / "games", ec))
        return std::filesystem::path("games");
    auto dir = home / "Documents" / "Tallowick";
    if (std::filesystem::exists(dir, ec))
        return dir;
    if (std::filesystem::create_directory(dir, ec) && !ec)
        return dir;
    return std::nullopt;
}

std::filesystem::path home_directory() {
#ifdef _WIN32
    const char* home = std::getenv("USERPROFILE");
#else
    const char* home = std::getenv("HOME");
#endif
    return home ? std::filesystem::path(home) : std::filesystem::path();
}

} // namespace tw
