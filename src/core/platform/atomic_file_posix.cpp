#include "core/platform/atomic_file.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace tw {

bool atomic_file::flush_to_disk(std::FILE* file, std::error_code& error) {
    if (std::fflush(file) != 0 || ::fsync(::fileno(file)) != 0) {
        error.assign(errno, std::generic_category());
        return false;
    }
    return true;
}

bool atomic_file::replace(const std::filesystem::path& from, const std::filesystem::path& to,
                          std::error_code& error) {
    std::filesystem::rename(from, to, error);
    if (error)
        return false;
    // The rename itself is in the folder's entry, which is flushed apart.
    // Some file systems refuse that; the file is in place all the same.
    auto folder = to.parent_path().empty() ? std::filesystem::path(".") : to.parent_path();
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace tw
