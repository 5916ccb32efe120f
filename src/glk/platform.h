#pragma once
// What differs between Linux and Windows, behind one small seam
// (platform_posix.cpp, platform_win32.cpp).
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace tw::glk {

// The protocol is bytes: no CR LF translation on standard input and output.
void use_binary_stdio();

std::FILE* open_file(const std::filesystem::path& path, const char* mode);

inline std::filesystem::path path_from_utf8(std::string_view text) {
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

} // namespace tw::glk
