#include "core/platform/platform.h"

#include "core/text/utf8.h"

#include <windows.h>

#include <shlobj.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace tw {
namespace {

std::filesystem::path known_folder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::filesystem::path found;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)))
        found = path;
    CoTaskMemFree(path);
    return found;
}

// Whether every character of `wide` has one of its own in the code page
// that the interpreter's C runtime reads names in.
bool fits_code_page(const std::wstring& wide) {
    if (GetACP() == CP_UTF8)
        return true;
    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0, nullptr,
                                &lossy);
    return n > 0 && !lossy;
}

} // namespace

std::filesystem::path home_directory() {
    return known_folder(FOLDERID_Profile);
}

std::filesystem::path documents_directory() {
    return known_folder(FOLDERID_Documents);
}

std::filesystem::path program_directory() {
    wchar_t path[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    return n == 0 || n == std::size(path) ? std::filesystem::path()
                                          : std::filesystem::path(path).parent_path();
}

std::filesystem::path settings_directory() {
    auto base = known_folder(FOLDERID_RoamingAppData);
    return base.empty() ? base : base / "Tallowick";
}

std::vector<std::filesystem::path> own_program_places(const std::filesystem::path& cwd,
                                                      const std::string& name) {
    std::vector<std::filesystem::path> found{cwd / (name + ".exe")};
    for (auto& p : installed_program_places(name))
        found.push_back(std::move(p));
    return found;
}

std::vector<std::filesystem::path> installed_program_places(const std::string& name) {
    auto dir = program_directory();
    if (dir.empty())
        return {};
    return {dir / (name + ".exe")};
}

std::vector<std::filesystem::path> system_program_places(const std::string&) {
    return {};
}

std::FILE* create_new_file(const std::filesystem::path& path) {
    // The C runtime's fopen knows no "x" (Wine's ignores it): _O_EXCL it is.
    int fd = _wopen(path.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
    std::FILE* f = fd < 0 ? nullptr : _fdopen(fd, "w+b");
    if (fd >= 0 && !f)
        _close(fd);
    return f;
}

std::FILE* open_for_append(const std::filesystem::path& path) {
    return _wfopen(path.c_str(), L"abN"); // N: not inherited
}

std::optional<std::filesystem::path> interpreter_story_path(const std::filesystem::path& story,
                                                            std::string& problem) {
    if (fits_code_page(story.native()))
        return story;
    // The 8.3 name, on volumes that keep them, is plain.
    std::wstring short_name(MAX_PATH, L'\0');
    DWORD n = GetShortPathNameW(story.c_str(), short_name.data(), MAX_PATH);
    short_name.resize(n < MAX_PATH ? n : 0);
    if (!short_name.empty() && fits_code_page(short_name))
        return std::filesystem::path(short_name);
    problem = "The story file " + utf8_of(story) +
              " cannot be played from where it is: the game interpreter reads only file names "
              "written in the system's own alphabet. Please rename it, or move it to a folder "
              "with a plainer name.";
    return std::nullopt;
}

void ignore_broken_pipes() {
    // Windows has no such signal: a write to a closed pipe fails by itself.
}

void name_this_thread(const std::string& name) {
    // Windows 10 1607 and later; looked up, so older systems simply skip it.
    using describe_fn = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    static const auto describe = reinterpret_cast<describe_fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (!describe)
        return;
    describe(GetCurrentThread(), path_from_utf8(name).c_str());
}

} // namespace tw
