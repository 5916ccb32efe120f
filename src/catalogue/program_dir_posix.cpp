#include "catalogue/catalogue.h"

#include <system_error>

namespace tw {

std::filesystem::path program_directory() {
    // Linux names the running program here; elsewhere the lookup beside the
    // program is simply skipped.
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return exe.parent_path();
}

} // namespace tw
