#include "core/platform/atomic_file.h"

#include <windows.h>

#include <cerrno>
#include <io.h>

namespace tw {
namespace {

// Windows' words for what the callers tell apart (a full disk, a refusal)
// in the portable ones.
std::error_code portable(DWORD code) {
    switch (code) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return std::make_error_code(std::errc::no_space_on_device);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return std::make_error_code(std::errc::permission_denied);
    case ERROR_WRITE_PROTECT:
        return std::make_error_code(std::errc::read_only_file_system);
    default:
        return std::make_error_code(std::errc::io_error);
    }
}

} // namespace

bool atomic_file::flush_to_disk(std::FILE* file, std::error_code& error) {
    if (std::fflush(file) != 0 || _commit(_fileno(file)) != 0) {
        error.assign(errno, std::generic_category());
        return false;
    }
    return true;
}

bool atomic_file::replace(const std::filesystem::path& from, const std::filesystem::path& to,
                          std::error_code& error) {
    // Write-through: the move is on the disk when the call returns.
    if (!MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = portable(GetLastError());
        return false;
    }
    return true;
}

} // namespace tw
