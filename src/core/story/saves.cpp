#include "core/story/saves.h"

#include "core/text/utf8.h"

#include <algorithm>
#include <system_error>

namespace tw {

std::vector<std::string> list_save_files(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(dir, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        auto name = utf8_of(it->path().filename());
        if (name.ends_with(".sav.qzl"))
            name.resize(name.size() - 4);
        if (name.ends_with(".sav"))
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

void prepare_restore(const std::filesystem::path& dir, const std::string& name) {
    auto plain = dir / name;
    auto qzl = dir / (name + ".qzl");
    std::error_code ec;
    if (!std::filesystem::exists(plain, ec) && std::filesystem::exists(qzl, ec))
        std::filesystem::copy_file(qzl, plain, ec);
}

} // namespace tw
