#pragma once
// How the interpreter is found and started, and what the player's input
// becomes on its way to it. No windows here.
#include "core/interpreter/process.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// The first of `candidates` that is a regular file.
std::optional<std::filesystem::path>
find_interpreter(const std::vector<std::filesystem::path>& candidates);

// The width of the screen the interpreter is given: the Z-machine's widest,
// so that it wraps as few lines as it can.
constexpr int screen_width = 255;

// The interpreter's command line for one story. -q keeps its start-up lines
// to itself; -m turns off the "***MORE***" pause, which would swallow the
// player's next command after a long text; line numbers, line types and
// marked reverse video let the reader tell the status line, quote boxes and
// single-key waits from the story's text.
launch_options interpreter_launch(const std::filesystem::path& interpreter,
                                  const std::filesystem::path& story,
                                  const std::filesystem::path& workdir);

// What is written to the interpreter for one command: every backslash
// doubled, since dfrotz takes "\" sequences on any input line as its own
// hot keys (one quits without asking), and a line end.
std::string interpreter_line(std::string_view command);

// What answers a wait for a single key: `key` is one character, or "" for
// Enter.
std::string interpreter_key(std::string_view key);

// A sentence for the player when the interpreter is older than Frotz 2.55,
// whose dumb interface drops bold and underlined text; none otherwise, and
// none when its version cannot be told.
std::optional<std::string> interpreter_notice(const std::filesystem::path& interpreter);

// "Reading <story file name>": the name of a game's reader thread.
std::string reader_thread_name(const std::filesystem::path& story);

} // namespace tw
