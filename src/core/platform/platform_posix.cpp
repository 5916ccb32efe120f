#include "core/platform/platform.h"

#include "core/text/utf8.h"

#include <csignal>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <system_error>

#include <pthread.h>

namespace tw {
namespace {

std::filesystem::path from_env(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? std::filesystem::path(value) : std::filesystem::path();
}

} // namespace

std::filesystem::path home_directory() {
    return from_env("HOME");
}

std::filesystem::path documents_directory() {
    auto home = home_directory();
    return home.empty() ? home : home / "Documents";
}

std::filesystem::path program_directory() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe.parent_path();
}

std::filesystem::path settings_directory() {
    auto base = from_env("XDG_CONFIG_HOME");
    if (base.empty() && !home_directory().empty())
        base = home_directory() / ".config";
    return base.empty() ? base : base / "tallowick";
}

std::vector<std::filesystem::path> own_program_places(const std::filesystem::path& cwd,
                                                      const std::string& name) {
    std::vector<std::filesystem::path> found{cwd / name};
    for (auto& p : installed_program_places(name))
        found.push_back(std::move(p));
    return found;
}

std::vector<std::filesystem::path> installed_program_places(const std::string& name) {
    auto dir = program_directory();
    if (dir.empty())
        return {};
    return {dir / name, dir.parent_path() / "libexec" / "tallowick" / name};
}

std::vector<std::filesystem::path> system_program_places(const std::string& name) {
    std::vector<std::filesystem::path> found;
    if (const char* path = std::getenv("PATH")) {
        std::string_view rest(path);
        for (;;) {
            auto colon = rest.find(':');
            if (auto dir = rest.substr(0, colon); !dir.empty())
                found.push_back(std::filesystem::path(dir) / name);
            if (colon == std::string_view::npos)
                break;
            rest.remove_prefix(colon + 1);
        }
    }
    return found;
}

std::FILE* create_new_file(const std::filesystem::path& path) {
    return std::fopen(path.c_str(), "w+bxe"); // e: close-on-exec
}

std::FILE* open_for_append(const std::filesystem::path& path) {
    return std::fopen(path.c_str(), "abe");
}

std::optional<std::filesystem::path> interpreter_story_path(const std::filesystem::path& story,
                                                            std::string&) {
    // File names are bytes here, and the interpreter gets them unchanged.
    return story;
}

void ignore_broken_pipes() {
    static std::once_flag once;
    std::call_once(once, [] { ::signal(SIGPIPE, SIG_IGN); });
}

void name_this_thread(const std::string& name) {
    // Linux keeps 15 bytes of a thread's name.
    pthread_setname_np(pthread_self(), std::string(utf8_prefix(name, 15)).c_str());
}

} // namespace tw
