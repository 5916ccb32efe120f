#include "glk/platform.h"

namespace tw::glk {

void use_binary_stdio() {}

std::FILE* open_file(const std::filesystem::path& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

} // namespace tw::glk
