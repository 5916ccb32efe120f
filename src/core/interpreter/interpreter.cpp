#include "core/interpreter/interpreter.h"

#include "core/text/utf8.h"

#include <cstdio>
#include <system_error>

namespace tw {

std::optional<std::filesystem::path>
find_interpreter(const std::vector<std::filesystem::path>& candidates) {
    for (const auto& p : candidates) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(p, ec))
            return std::filesystem::absolute(p, ec).lexically_normal();
    }
    return std::nullopt;
}

namespace {

// A path as the process layer takes it: UTF-8 on Windows, the bytes as
// they are elsewhere (a name in another encoding must reach the
// interpreter unchanged).
std::string arg_of(const std::filesystem::path& p) {
    auto u8 = p.u8string();
    return std::string(reinterpret_cast<const char*>(u8.data()), u8.size());
}

} // namespace

launch_options interpreter_launch(const std::filesystem::path& interpreter,
                                  const std::filesystem::path& story,
                                  const std::filesystem::path& workdir) {
    launch_options o;
    o.argv = {arg_of(interpreter),
              "-q",
              "-Z0",
              "-h100",
              "-u20",
              "-w" + std::to_string(screen_width),
              "-S100",
              "-x",
              "-m",
              "-r",
              "ln",
              "-r",
              "lt",
              "-r",
              "ru",
              "-r",
              "rb\x01",
              arg_of(story)};
    o.env = {"PYTHONUNBUFFERED=1"};
    o.cwd = arg_of(workdir);
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

std::string interpreter_key(std::string_view key) {
    // dfrotz reads a line for a key and takes its first character; an empty
    // line is Enter.
    return interpreter_line(key);
}

std::optional<std::string> interpreter_notice(const std::filesystem::path& interpreter) {
    std::string error;
    auto child = child_process::start({{arg_of(interpreter), "-v"}, {}, {}}, error);
    if (!child)
        return std::nullopt;
    std::string said;
    output_chunk chunk;
    while (said.size() < 4096 && child->read_output(chunk, 2000) && !chunk.bytes.empty())
        if (!chunk.is_stderr)
            said += chunk.bytes;
    // "FROTZ V2.55     Dumb interface."
    auto at = said.find("FROTZ V");
    if (at == std::string::npos)
        return std::nullopt;
    int major = 0, minor = 0;
    if (std::sscanf(said.c_str() + at, "FROTZ V%d.%d", &major, &minor) != 2)
        return std::nullopt;
    if (major > 2 || (major == 2 && minor >= 55))
        return std::nullopt;
    return "This game interpreter, Frotz " + std::to_string(major) + "." + std::to_string(minor) +
           ", is older than 2.55: bold and underlined text, such as room names, may be missing.";
}

std::string reader_thread_name(const std::filesystem::path& story) {
    return "Reading " + utf8_of(story.filename());
}

} // namespace tw
