#include "core/platform/platform.h"

#include <windows.h>
#include <shlobj.h>

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

std::vector<std::filesystem::path> interpreter_candidates(const std::filesystem::path& cwd) {
    std::vector<std::filesystem::path> found{cwd / "dfrotz.exe"};
    if (auto dir = program_directory(); !dir.empty())
        found.push_back(dir / "dfrotz.exe");
    return found;
}

void name_this_thread(const std::string& name) {
    // Windows 10 1607 and later; looked up, so older systems simply skip it.
    using describe_fn = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    static const auto describe = reinterpret_cast<describe_fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"),
                                               "SetThreadDescription")));
    if (!describe)
        return;
    int n = MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, wide.data(), n);
    describe(GetCurrentThread(), wide.c_str());
}

} // namespace tw
