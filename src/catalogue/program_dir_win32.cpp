#include "catalogue/catalogue.h"

#include <windows.h>

#include <vector>

namespace tw {

std::filesystem::path program_directory() {
    // The buffer grows until the whole path fits; long paths exceed MAX_PATH.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size())
            return std::filesystem::path(std::wstring(buffer.data(), n)).parent_path();
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace tw
