#include "game/launch.h"

#include <cctype>
#include <cstdlib>
#include <system_error>

namespace tw {
namespace {

bool is_program(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec);
}

} // namespace

#ifdef _WIN32
std::vector<std::filesystem::path> interpreter_fallbacks;
#else
std::vector<std::filesystem::path> interpreter_fallbacks = {"/usr/games/dfrotz"};
#endif

std::optional<std::filesystem::path> find_interpreter(const std::filesystem::path& cwd) {
#ifdef _WIN32
    auto local = cwd / "dfrotz.exe";
    if (is_program(local))
        return std::filesystem::absolute(local).lexically_normal();
    return std::nullopt;
#else
    auto local = cwd / "dfrotz";
    if (is_program(local))
        return std::filesystem::absolute(local).lexically_normal();
    if (const char* path = std::getenv("PATH")) {
        std::string_view rest(path);
        while (true) {
            auto colon = rest.find(':');
            auto dir = rest.substr(0, colon);
            if (!dir.empty()) {
                auto candidate = std::filesystem::path(dir) / "dfrotz";
                if (is_program(candidate))
                    return std::filesystem::absolute(candidate);
            }
            if (colon == std::string_view::npos)
                break;
            rest.remove_prefix(colon + 1);
        }
    }
    for (const auto& fallback : interpreter_fallbacks)
        if (is_program(fallback))
            return fallback;
    return std::nullopt;
#endif
}

launch_options interpreter_launch(const std::filesystem::path& interpreter,
                                  const std::filesystem::path& story,
                                  const std::filesystem::path& workdir) {
    launch_options o;
    o.argv = {interpreter.string(), "-Z0", "-h100", "-u20", "-w100", "-S100", "-x", "-m",
              story.string()};
    o.env = {"PYTHONUNBUFFERED=1"};
    o.cwd = workdir.string();
    return o;
}

std::string interpreter_line(std::string_view command) {
    std::string line;
    line.reserve(command.size() + 1);
    for (char c : command) {
        line += c;
        if (c == '\\')
            line += '\\';
    }
    line += '\n';
    return line;
}

std::string reader_thread_name(const std::filesystem::path& story) {
    std::string name = "Reading " + story.filename().string();
#ifndef _WIN32
    // Linux keeps 15 bytes of a thread's name; cut on a character boundary.
    size_t limit = 15;
    if (name.size() > limit) {
        size_t cut = limit;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
#endif
    return name;
}

} // namespace tw

namespace tw {

std::string story_wildcard() {
    static const char* const extensions[] = {"z1", "z2", "z3",  "z4",    "z5",    "z7",
                                             "z8", "z6", "blb", "blorb", "zblorb"};
    std::string patterns;
    auto add = [&](const std::string& ext) {
        if (!patterns.empty())
            patterns += ';';
        patterns += "*." + ext;
    };
    for (const char* e : extensions)
        add(e);
#ifndef _WIN32
    for (std::string e : extensions) {
        for (char& c : e)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        add(e);
    }
#endif
    return "ZCode Games|" + patterns;
}

} // namespace tw

#ifndef _WIN32
#include <pthread.h>
#endif

namespace tw {

void name_this_thread(const std::string& name) {
#ifndef _WIN32
    pthread_setname_np(pthread_self(), name.c_str());
#else
    (void)name;
#endif
}

} // namespace tw
