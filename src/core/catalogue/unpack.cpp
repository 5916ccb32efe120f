#include "core/catalogue/unpack.h"

#include "core/catalogue/zip_file.h"
#include "core/platform/platform.h"
#include "core/story/story_file.h"
#include "core/text/file_name_rules.h"
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
    std::string name;   // as the archive names it, for choosing only
    std::string folder; // the archive's folder that holds it
    std::string stem;   // its last part, without the extension
    std::string extension;
    std::uint64_t size = 0;
};

struct zip_closer {
    void operator()(unzFile z) const { unzClose(z); }
};
using zip_ptr = std::unique_ptr<std::remove_pointer_t<unzFile>, zip_closer>;

member member_named(std::string name, std::uint64_t size) {
    member m;
    auto slash = name.find_last_of("/\\");
    auto last = slash == std::string::npos ? name : name.substr(slash + 1);
    m.folder = slash == std::string::npos ? std::string() : name.substr(0, slash);
    auto dot = last.rfind('.');
    m.stem = dot == std::string::npos ? last : last.substr(0, dot);
    m.extension = dot == std::string::npos ? std::string() : ascii_lower(last.substr(dot + 1));
    m.name = std::move(name);
    m.size = size;
    return m;
}

// The digit that numbers a part of a game (gamedat2), if its stem ends in one.
std::optional<char> part_digit(const std::string& stem) {
    if (stem.empty() || stem.back() < '0' || stem.back() > '9')
        return std::nullopt;
    return stem.back();
}

// A file that goes with the story, and the name it is written under.
struct companion {
    const member* in_archive;
    std::string file_name;
};

// The members of the archive that travel with `story`, a game of `format`,
// and the names they take beside it as `stem`.
std::vector<companion> companions_of(const member& story, const story_format& format,
                                     const std::vector<member>& members, const std::string& stem) {
    std::vector<companion> found;
    const auto& wanted = format.companions;
    for (const auto& m : members) {
        if (&m == &story || m.folder != story.folder)
            continue;
        if (ascii_lower(m.stem) == ascii_lower(story.stem) &&
            std::find(wanted.named_as_story.begin(), wanted.named_as_story.end(), m.extension) !=
                wanted.named_as_story.end())
            found.push_back({&m, stem + "." + m.extension});
        else if (wanted.named_by_game && m.extension.empty()) {
            auto name = replace_unfit_characters(m.stem);
            trim_dots_and_spaces(name);
            if (!name.empty() && !is_device_name(name))
                found.push_back({&m, name});
        } else if (wanted.numbered_parts && part_digit(story.stem) && part_digit(m.stem) &&
                   m.extension == story.extension &&
                   m.stem.substr(0, m.stem.size() - 1) ==
                       story.stem.substr(0, story.stem.size() - 1))
            found.push_back({&m, stem + " " + *part_digit(m.stem) + "." + m.extension});
    }
    return found;
}

// Where a game's story file lies once unpacked as `stem`: "<stem>.<extension>",
// or "<stem> <digit>.<extension>" for a game in numbered parts, whose
// interpreter finds the others by that digit.
std::string story_file_name(const std::string& stem, const member& story,
                            const story_format* format) {
    if (format && format->companions.numbered_parts && part_digit(story.stem))
        return stem + " " + *part_digit(story.stem) + "." + story.extension;
    return stem + "." + story.extension;
}

// Writes the archive's member `m` to a new hidden file in `folder`, its
// bytes counted as they come (a header may lie about the size). The file's
// path, or a problem for the player.
struct extracted {
    std::filesystem::path temp;
    std::string problem;
};
extracted extract(unzFile zip, const member& m, const std::filesystem::path& folder,
                  const std::string& stem, std::uintmax_t limit) {
    const std::string damaged = "The downloaded archive cannot be read: it is damaged.";
    const std::string too_large = "The story in the downloaded archive is too large to be a game.";
    const std::string not_written = "The story could not be unpacked into the save folder.";
    if (m.size > limit)
        return {{}, too_large};
    if (unzLocateFile(zip, m.name.c_str(), 1) != UNZ_OK || unzOpenCurrentFile(zip) != UNZ_OK)
        return {{}, damaged};
    // Random names, tried until one is free.
    constexpr int names_to_try = 100, name_numbers = 1000000;
    std::random_device random;
    std::filesystem::path temp;
    std::FILE* out = nullptr;
    for (int tries = 0; !out && tries < names_to_try; ++tries) {
        temp = folder /
               path_from_utf8("." + stem + ".unpack-" + std::to_string(random() % name_numbers));
        out = create_new_file(temp);
    }
    if (!out) {
        unzCloseCurrentFile(zip);
        return {{}, not_written};
    }
    std::vector<char> buffer(1 << 16);
    std::uintmax_t written = 0;
    int got = 0;
    bool ok = true;
    while ((got = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()))) >
           0) {
        written += static_cast<unsigned>(got);
        if (written > limit || std::fwrite(buffer.data(), 1, static_cast<size_t>(got), out) !=
                                   static_cast<size_t>(got)) {
            ok = false;
            break;
        }
    }
    // A damaged entry fails its read or its checksum.
    bool intact = got == 0 && unzCloseCurrentFile(zip) == UNZ_OK;
    std::error_code ec;
    ok = ok && intact && flush_to_disk(out, ec);
    ok = std::fclose(out) == 0 && ok;
    if (!ok) {
        std::filesystem::remove(temp, ec);
        return {{}, !intact ? damaged : written > limit ? too_large : not_written};
    }
    return {temp, {}};
}

} // namespace

std::optional<std::filesystem::path> unpacked_before(const std::filesystem::path& folder,
                                                     const std::string& stem) {
    auto found = [&](const std::string& name) {
        std::error_code ec;
        return std::filesystem::is_regular_file(folder / path_from_utf8(name), ec);
    };
    for (const auto& format : story_formats())
        for (auto e : format.extensions) {
            if (found(stem + "." + std::string(e)))
                return folder / path_from_utf8(stem + "." + std::string(e));
            for (char digit = '0'; format.companions.numbered_parts && digit <= '9'; ++digit)
                if (found(stem + " " + digit + "." + std::string(e)))
                    return folder / path_from_utf8(stem + " " + digit + "." + std::string(e));
        }
    for (auto e : blorb_extensions)
        if (found(stem + "." + std::string(e)))
            return folder / path_from_utf8(stem + "." + std::string(e));
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

    // Its files, and the story files among them.
    std::vector<member> members;
    for (int at = unzGoToFirstFile(zip.get()); at == UNZ_OK; at = unzGoToNextFile(zip.get())) {
        unz_file_info64 file;
        char name[1024];
        if (unzGetCurrentFileInfo64(zip.get(), &file, name, sizeof name, nullptr, 0, nullptr,
                                    0) != UNZ_OK) {
            result.problem = damaged;
            return result;
        }
        std::string n = decode_utf8(name);
        if (!n.empty() && n.back() != '/')
            members.push_back(member_named(n, file.uncompressed_size));
    }
    std::vector<const member*> stories;
    for (const auto& m : members)
        if (is_story_extension(m.extension))
            stories.push_back(&m);
    if (stories.empty()) {
        result.problem = "The downloaded archive holds no story file that Tallowick can play.";
        return result;
    }

    const member* chosen = nullptr;
    for (const auto& like : names_like)
        for (const auto* s : stories)
            if (!chosen && !plain(like).empty() && plain(s->stem) == plain(like))
                chosen = s;
    if (!chosen) {
        chosen = *std::max_element(stories.begin(), stories.end(),
                                   [](auto* a, auto* b) { return a->size < b->size; });
        if (stories.size() > 1)
            result.note = "The archive holds " + std::to_string(stories.size()) +
                          " story files; Tallowick plays the largest, " + chosen->name + ".";
    }

    // The story, then what travels with it: all in place, or none.
    std::vector<std::pair<std::filesystem::path, std::filesystem::path>> unpacked;
    auto fail = [&](std::string problem) {
        std::error_code ec;
        for (const auto& [temp, target] : unpacked)
            std::filesystem::remove(temp, ec);
        result.problem = std::move(problem);
        result.note.clear();
        return result;
    };
    auto story = extract(zip.get(), *chosen, folder, stem, limit);
    if (story.temp.empty())
        return fail(story.problem);
    auto format = check_story(story.temp).format;
    unpacked.emplace_back(story.temp,
                          folder / path_from_utf8(story_file_name(stem, *chosen, format)));
    for (const auto& c :
         format ? companions_of(*chosen, *format, members, stem) : std::vector<companion>{}) {
        auto file = extract(zip.get(), *c.in_archive, folder, stem, limit);
        if (file.temp.empty())
            return fail(file.problem);
        unpacked.emplace_back(file.temp, folder / path_from_utf8(c.file_name));
    }
    std::error_code ec;
    for (const auto& [temp, target] : unpacked)
        if (!replace_durably(temp, target, ec))
            return fail("The story could not be unpacked into the save folder.");
    result.story = unpacked.front().second;
    return result;
}

} // namespace tw
