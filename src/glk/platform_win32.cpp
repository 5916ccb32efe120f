#include "glk/platform.h"

#include <fcntl.h>
#include <io.h>

#include <string>

namespace tw::glk {

void use_binary_stdio() {
    _setmode(0, _O_BINARY);
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
}

std::FILE* open_file(const std::filesystem::path& path, const char* mode) {
    std::wstring wide_mode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(path.c_str(), wide_mode.c_str());
}

} // namespace tw::glk
