#include "core/interpreter/dfrotz.h"

#include "core/text/utf8.h"

#include <cstdio>

namespace tw::dfrotz {

launch_options launch(const std::filesystem::path& interpreter, const std::filesystem::path& story,
                      const std::filesystem::path& workdir) {
    launch_options o;
    o.argv = {argument_of(interpreter),
              "-q", // no start-up lines
              // Never stop the game over a Z-machine error that a player
              // cannot mend; games make harmless ones.
              "-Z0",
              "-h" + std::to_string(screen_height),
              "-w" + std::to_string(screen_width),
              "-u20",  // undo: twenty turns back
              "-S100", // a game's own transcript ("script") wraps at 100
              "-x",    // the abbreviations g, x and z that older games lack
              // Files (saves, transcripts, a game's own data) only in its
              // working folder, the save folder, whatever name is asked for.
              "-R", ".",
              // No "***MORE***" pause, which would swallow the player's
              // next command after a long text.
              "-m",
              // Each row with its number and type, and reverse video marked
              // (reverse blanks as reverse_blank): dfrotz_screen reads them.
              "-r", "ln", "-r", "lt", "-r", "ru", "-r", std::string("rb") + reverse_blank,
              argument_of(story)};
    o.cwd = argument_of(workdir);
    return o;
}

std::string line(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 1);
    for (char c : text) {
        out += c;
        if (c == '\\')
            out += '\\';
    }
    out += '\n';
    return out;
}

std::string key(const key_press& key) {
    // dfrotz's escapes for the keys that have no character of their own.
    switch (key.special) {
    case key_press::none:
        return line(key.text);
    case key_press::enter:
        return "\n";
    case key_press::escape:
        return "\\[\n";
    case key_press::backspace:
        return "\\?\n";
    case key_press::left:
        return "\\<\n";
    case key_press::right:
        return "\\>\n";
    case key_press::up:
        return "\\^\n";
    case key_press::down:
        return "\\.\n";
    case key_press::function:
        if (key.number >= 1 && key.number <= 10)
            return "\\" + std::to_string(key.number % 10) + "\n";
        return "\n";
    default:
        // Tab, Home, End and the page keys are no Z-machine keys.
        return "\n";
    }
}

std::optional<std::string> notice(const std::filesystem::path& interpreter) {
    std::string error;
    // Confined too, with nothing to read or write.
    auto child =
        child_process::start({{argument_of(interpreter), "-v"}, {}, {}, confinement{}}, error);
    if (!child)
        return std::nullopt;
    // Its banner is a few lines; a program that says more, or nothing for
    // two seconds, is no dfrotz that tells its version.
    constexpr size_t banner_limit = 4096;
    constexpr int quiet_limit_ms = 2000;
    std::string said;
    output_chunk chunk;
    while (said.size() < banner_limit && child->read_output(chunk, quiet_limit_ms) &&
           !chunk.bytes.empty())
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

} // namespace tw::dfrotz
