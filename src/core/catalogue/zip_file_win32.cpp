#include "core/catalogue/zip_file.h"

#include <iowin32.h>

namespace tw {

unzFile open_zip(const std::filesystem::path& path) {
    // minizip's own functions open files by names in the ANSI code page;
    // these take the wide name whole.
    zlib_filefunc64_def files;
    fill_win32_filefunc64W(&files);
    return unzOpen2_64(path.c_str(), &files);
}

} // namespace tw
