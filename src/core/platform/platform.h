#pragma once
// What the operating system tells about where things are. One implementation
// per platform behind this header.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tw {

// The user's home directory; empty when it cannot be told.
std::filesystem::path home_directory();
// The user's documents folder (which may not exist).
std::filesystem::path documents_directory();
// The folder of the running program; empty when it cannot be told.
std::filesystem::path program_directory();
// Where settings are kept between runs (which may not exist yet).
std::filesystem::path settings_directory();

// Where a program of ours named `name` (an interpreter we build) is looked
// for, in order: in `cwd` (a portable copy), then in the installed places
// below. The name takes the system's suffix.
std::vector<std::filesystem::path> own_program_places(const std::filesystem::path& cwd,
                                                      const std::string& name);
// Beside the program, or in its libexec folder when installed: where a
// helper of ours that must not be replaced from the working directory (the
// launcher that confines interpreters) is looked for.
std::vector<std::filesystem::path> installed_program_places(const std::string& name);
// Where the system keeps a program named `name`: the folders of PATH (which
// holds /usr/games for Debian's players); none on Windows, whose players
// have only what came with us.
std::vector<std::filesystem::path> system_program_places(const std::string& name);

// Opens `path` for writing and reading in binary, only if no file of that
// name exists (null and errno EEXIST otherwise); the interpreter never
// inherits it.
std::FILE* create_new_file(const std::filesystem::path& path);
// Opens `path` for appending in binary, made if missing; not inherited either.
std::FILE* open_for_append(const std::filesystem::path& path);

// The name by which the interpreter, which opens files by their names in
// the system's code page, can open `story`; none, with `problem` saying why
// for the player, when it has no such name.
std::optional<std::filesystem::path> interpreter_story_path(const std::filesystem::path& story,
                                                            std::string& problem);

// The program's one policy for broken pipes: a write to a pipe or socket
// whose reader has gone (an interpreter that died, a speech service that
// went away) fails with an error instead of ending the whole program. Set
// process-wide on first call; every layer that writes to such a pipe calls
// it before its first write.
void ignore_broken_pipes();

// Names the calling thread for debuggers and process listings, cut to what
// the platform keeps.
void name_this_thread(const std::string& name);

} // namespace tw
