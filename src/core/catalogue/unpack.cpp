#include "core/catalogue/unpack.h"

#include "core/catalogue/zip_file.h"
#include "core/platform/platform.h"
#include "core/story/story_file.h"
#include "core/text/utf8.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <system_error>
#include <vector>

namespace tw {
namespace {

// Letters and digits only, in lower case: "Lost Pig" and "LostPig" alike.
std::string plain(std::string_view s) {
    std::string out;
    for (char c : ascii_lower(s))
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            out += c;
    return out;
}

struct member {
    std::string name; // as the archive names it, for choosing only
    std::string stem; // its last part, without the extension
    std::string extension;
    std::uint64_t size = 0;
};

struct zip_closer {
    void operator()(unzFile z) const { unzClose(z); }
};
using zip_ptr = std::unique_ptr<std::remove_pointer_t<unzFile>, zip_closer>;

std::string extension_of(const std::string& name) {
    auto dot = name.rfind('.');
    auto slash = name.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return ascii_lower(name.substr(dot + 1));
}

std::string stem_of(const std::string& name) {
    auto slash = name.find_last_of("/\\");
    auto last = slash == std::string::npos ? name : name.substr(slash + 1);
    auto dot = last.rfind('.');
    return dot == std::string::npos ? last : last.substr(0, dot);
}

} // namespace

std::optional<std::filesystem::path> unpacked_before(const std::filesystem::path& folder,
                                                     const std::string& stem) {
    for (auto e : story_extensions) {
        auto p = folder / path_from_utf8(stem + "." + std::string(e));
        std::error_code ec;
        if (std::filesystem::is_regular_file(p, ec))
            return p;
    }
    auto p = folder / path_from_utf8(stem + ".blorb");
    std::error_code ec;
    if (std::filesystem::is_regular_file(p, ec))
        return p;
    return std::nullopt;
}

unpacked_story unpack_story(const std::filesystem::path& archive,
                            const std::filesystem::path& folder, const std::string& stem,
                            const std::vector<std::string>& names_like, std::uintmax_t limit) {
    unpacked_story result;
    const std::string damaged = "The downloaded archive cannot be read: it is damaged.";
    zip_ptr zip(open_zip(archive));
    if (!zip) {
        result.problem = "The downloaded file is not a zip archive that Tallowick can read.";
        return result;
    }
    unz_global_info64 info;
    if (unzGetGlobalInfo64(zip.get(), &info) != UNZ_OK) {
        result.problem = damaged;
        return result;
    }
    if (info.number_entry > archive_entry_limit) {
        result.problem = "The downloaded archive lists too many files to be a game's.";
        return result;
    }

    // The story files it holds.
    std::vector<member> stories;
    for (int at = unzGoToFirstFile(zip.get()); at == UNZ_OK; at = unzGoToNextFile(zip.get())) {
        unz_file_info64 file;
        char name[1024];
        if (unzGetCurrentFileInfo64(zip.get(), &file, name, sizeof name, nullptr, 0, nullptr,
                                    0) != UNZ_OK) {
            result.problem = damaged;
            return result;
        }
        std::string n = decode_utf8(name);
        auto ext = extension_of(n);
        if (n.empty() || n.back() == '/' || !is_story_extension(ext))
            continue;
        stories.push_back({n, stem_of(n), ext, file.uncompressed_size});
    }
    if (stories.empty()) {
        result.problem = "The downloaded archive holds no story file that Tallowick can play.";
        return result;
    }

    const member* chosen = nullptr;
    for (const auto& like : names_like)
        for (const auto& s : stories)
            if (!chosen && !plain(like).empty() && plain(s.stem) == plain(like))
                chosen = &s;
    if (!chosen) {
        chosen = &*std::max_element(stories.begin(), stories.end(), [](auto& a, auto& b) {
            return a.size < b.size;
        });
        if (stories.size() > 1)
            result.note = "The archive holds " + std::to_string(stories.size()) +
                          " story files; Tallowick plays the largest, " + chosen->name + ".";
    }
    if (chosen->size > limit) {
        result.problem = "The story in the downloaded archive is too large to be a game.";
        return result;
    }

    if (unzLocateFile(zip.get(), chosen->name.c_str(), 1) != UNZ_OK ||
        unzOpenCurrentFile(zip.get()) != UNZ_OK) {
        result.problem = damaged;
        return result;
    }
    std::random_device random;
    std::filesystem::path temp;
    std::FILE* out = nullptr;
    for (int tries = 0; !out && tries < 100; ++tries) {
        temp = folder / path_from_utf8("." + stem + ".unpack-" + std::to_string(random() % 1000000));
        out = create_new_file(temp);
    }
    if (!out) {
        unzCloseCurrentFile(zip.get());
        result.problem = "The story could not be unpacked into the save folder.";
        return result;
    }
    // The bytes are counted as they come: a header may lie about the size.
    std::vector<char> buffer(1 << 16);
    std::uintmax_t written = 0;
    int got = 0;
    bool ok = true;
    while ((got = unzReadCurrentFile(zip.get(), buffer.data(), static_cast<unsigned>(buffer.size()))) > 0) {
        written += static_cast<unsigned>(got);
        if (written > limit ||
            std::fwrite(buffer.data(), 1, static_cast<size_t>(got), out) != static_cast<size_t>(got)) {
            ok = false;
            break;
        }
    }
    // A damaged entry fails its read or its checksum.
    bool intact = got == 0 && unzCloseCurrentFile(zip.get()) == UNZ_OK;
    std::error_code ec;
    ok = ok && intact && flush_to_disk(out, ec);
    ok = std::fclose(out) == 0 && ok;
    auto target = folder / path_from_utf8(stem + "." + chosen->extension);
    if (!ok || !replace_durably(temp, target, ec)) {
        std::filesystem::remove(temp, ec);
        result.problem = !intact                          ? damaged
                         : written > limit ? "The story in the downloaded archive "
                                                            "is too large to be a game."
                                                          : "The story could not be unpacked "
                                                            "into the save folder.";
        result.note.clear();
        return result;
    }
    result.story = target;
    return result;
}

} // namespace tw
