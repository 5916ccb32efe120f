#pragma once
// Opens a zip file with minizip by its path, as each platform names files.
#include <filesystem>

#include <unzip.h>

namespace tw {

unzFile open_zip(const std::filesystem::path& path);

} // namespace tw
