#include "core/catalogue/zip_file.h"

namespace tw {

unzFile open_zip(const std::filesystem::path& path) {
    // A path is bytes here, as minizip's own file functions take it.
    return unzOpen64(path.c_str());
}

} // namespace tw
