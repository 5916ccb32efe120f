#include "ui/startup.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <io.h>

namespace tw {
namespace {

bool connected(std::FILE* stream) {
    int fd = _fileno(stream);
    return fd >= 0 &&
           GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) != FILE_TYPE_UNKNOWN;
}

} // namespace

std::vector<std::string> command_line_arguments(int, char**) {
    // argv holds the ANSI code page's idea of the names; the wide command
    // line holds the names themselves.
    int argc = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 1; wide && i < argc; ++i) {
        int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(static_cast<size_t>(n > 0 ? n : 1), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
        arg.pop_back(); // the terminating NUL
        args.push_back(std::move(arg));
    }
    LocalFree(wide);
    return args;
}

void prepare_process() {
    // A windowed program gets the streams it was handed (a pipe, a file);
    // typed at a console without either, it has none, and --version would
    // say nothing: that console then takes what it writes.
    if (connected(stdout) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    std::freopen("CONOUT$", "w", stdout);
    if (!connected(stderr))
        std::freopen("CONOUT$", "w", stderr);
}

} // namespace tw
