#pragma once
// What differs between Linux and Windows, behind one small seam
// (platform_posix.cpp, platform_win32.cpp).
#include <cstdio>
#include <filesystem>
#include <optional>

namespace tw::glk {

// The protocol is bytes: no CR LF translation on standard input and output.
void use_binary_stdio();

std::FILE* open_file(const std::filesystem::path& path, const char* mode);

// Reads up to `size` bytes of standard input into `buffer`: those there now,
// waiting for some if there are none and `wait` is set. None at the end of
// the input (or when it cannot be read); 0 when there is nothing yet.
std::optional<size_t> read_input(char* buffer, size_t size, bool wait);

} // namespace tw::glk
