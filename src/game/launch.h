#pragma once
// How the interpreter is found and started, and what a command line becomes
// on its way to it. No windows here.
#include "game/process.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// The interpreter: ./dfrotz in the working directory, then dfrotz on PATH,
// then each of interpreter_fallbacks. None when there is none.
std::optional<std::filesystem::path> find_interpreter(const std::filesystem::path& cwd);

// Where find_interpreter() looks last, in order: where Debian puts dfrotz.
// Tests empty it to see a machine without an interpreter.
extern std::vector<std::filesystem::path> interpreter_fallbacks;

// The interpreter's arguments for one story. -m turns off the "***MORE***"
// pause, which would otherwise swallow the player's next command after any
// text longer than the screen height.
launch_options interpreter_launch(const std::filesystem::path& interpreter,
                                  const std::filesystem::path& story,
                                  const std::filesystem::path& workdir);

// What is written to the interpreter for one command: every backslash
// doubled, since dfrotz takes "\" sequences on any input line as its own
// hot keys (one quits without asking), and a line end.
std::string interpreter_line(std::string_view command);

// "Reading <file>", cut to what a thread name may hold on this platform.
std::string reader_thread_name(const std::filesystem::path& story);

} // namespace tw

namespace tw {

// The file dialog's one filter, "ZCode Games". GTK matches patterns
// case-sensitively, so there the upper-case names (ZORK1.Z5) are listed too,
// as Windows lists them.
std::string story_wildcard();

} // namespace tw

namespace tw {

// Names the calling thread, for debuggers and process listings.
void name_this_thread(const std::string& name);

} // namespace tw
