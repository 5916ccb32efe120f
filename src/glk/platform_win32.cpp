#include "glk/platform_win32.h"
#include "glk/platform.h"

#include <windows.h>

#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
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

std::optional<size_t> read_input(char* buffer, size_t size, bool wait) {
    DWORD waiting = 0;
    // Only a pipe can be asked what it holds; a file gives what it has at once.
    if (!wait && PeekNamedPipe(GetStdHandle(STD_INPUT_HANDLE), nullptr, 0, nullptr, &waiting,
                               nullptr) &&
        waiting == 0)
        return 0;
    int got = _read(0, buffer, static_cast<unsigned>(std::min<size_t>(size, 1 << 20)));
    if (got <= 0)
        return std::nullopt;
    return static_cast<size_t>(got);
}

std::vector<std::string> utf8_arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return arguments;
    for (int i = 0; i < count; ++i) {
        int wide_size = static_cast<int>(std::char_traits<wchar_t>::length(wide[i]));
        int size =
            WideCharToMultiByte(CP_UTF8, 0, wide[i], wide_size, nullptr, 0, nullptr, nullptr);
        std::string argument(size, '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], wide_size, argument.data(), size, nullptr,
                            nullptr);
        arguments.push_back(std::move(argument));
    }
    LocalFree(wide);
    return arguments;
}

} // namespace tw::glk
