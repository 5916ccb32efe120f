#pragma once
// What makes a name fit for a file on both Windows and Linux, for every
// name Tallowick or a game makes up: a catalogue game's story, a game's own
// data file. No name made with these can hold a separator.
#include <string>
#include <string_view>

namespace tw {

// Whether either system forbids `cp` in a file name: separators, reserved
// marks, control characters.
bool unfit_in_file_name(char32_t cp);

// `name` with every character that either system forbids in a file name
// (separators, reserved marks, control characters) and every invalid UTF-8
// byte replaced by "_".
std::string replace_unfit_characters(std::string_view name);

// Without leading dots or spaces (a hidden file, "." or "..") and trailing
// ones (Windows drops them, so the name on disk would differ).
void trim_dots_and_spaces(std::string& name);

// CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9 name devices on Windows,
// whatever extension follows: such a name gets "_" before it.
bool is_device_name(std::string_view name);

} // namespace tw
