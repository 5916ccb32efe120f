#pragma once
// What differs between Linux and Windows, behind one small seam
// (platform_posix.cpp, platform_win32.cpp).
#include <cstdio>
#include <filesystem>

namespace tw::glk {

// The protocol is bytes: no CR LF translation on standard input and output.
void use_binary_stdio();

std::FILE* open_file(const std::filesystem::path& path, const char* mode);

} // namespace tw::glk
