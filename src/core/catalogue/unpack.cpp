#include "core/catalogue/unpack.h"

#include "core/catalogue/zip_file.h"
#include "core/platform/atomic_file.h"
#include "core/story/story_file.h"
#include "core/text/file_name_rules.h"
#include "core/text/utf8.h"

#include <algorithm>
#include <cstdio>
#include <memory>
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
    for (const auto& m : members) {
        if (&m == &story || m.folder != story.folder)
            continue;
        switch (companion_of(format, story.stem, story.extension, m.stem, m.extension)) {
        case companion_kind::named_as_story:
            found.push_back({&m, stem + "." + m.extension});
            break;
        case companion_kind::named_by_game: {
            auto name = replace_unfit_characters(m.stem);
            trim_dots_and_spaces(name);
            if (!name.empty() && !is_device_name(name))
                found.push_back({&m, name});
            break;
        }
        case companion_kind::numbered_part:
            found.push_back({&m, stem + " " + m.stem.back() + "." + m.extension});
            break;
        case companion_kind::none:
            break;
        }
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

// Writes the archive's member `m` beside `target`, its bytes counted as they
// come (a header may lie about the size): the new file, to be put in place,
// or a problem for the player.
struct extracted {
    std::unique_ptr<atomic_file> file;
    std::string problem;
};
extracted extract(unzFile zip, const member& m, const std::filesystem::path& target,
                  std::uintmax_t limit) {
    const std::string damaged = "The downloaded archive cannot be read: it is damaged.";
    const std::string too_large = "The story in the downloaded archive is too large to be a game.";
    const std::string not_written = "The story could not be unpacked into the save folder.";
    if (m.size > limit)
        return {nullptr, too_large};
    if (unzLocateFile(zip, m.name.c_str(), 1) != UNZ_OK || unzOpenCurrentFile(zip) != UNZ_OK)
        return {nullptr, damaged};
    auto out = std::make_unique<atomic_file>(target);
    if (!out->file()) {
        unzCloseCurrentFile(zip);
        return {nullptr, not_written};
    }
    std::vector<char> buffer(1 << 16);
    std::uintmax_t written = 0;
    int got = 0;
    bool ok = true;
    while ((got = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()))) >
           0) {
        written += static_cast<unsigned>(got);
        if (written > limit || !out->write({buffer.data(), static_cast<size_t>(got)})) {
            ok = false;
            break;
        }
    }
    // A damaged entry fails its read or its checksum.
    bool intact = got == 0 && unzCloseCurrentFile(zip) == UNZ_OK;
    if (!ok || !intact)
        return {nullptr, !intact ? damaged : written > limit ? too_large : not_written};
    return {std::move(out), {}};
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
    std::vector<std::unique_ptr<atomic_file>> unpacked;
    auto fail = [&](std::string problem) {
        unpacked.clear(); // what was not put in place goes
        result.problem = std::move(problem);
        result.note.clear();
        return result;
    };
    auto story = extract(zip.get(), *chosen, folder / path_from_utf8(stem + "." + chosen->extension),
                         limit);
    if (!story.file)
        return fail(story.problem);
    // Its name may depend on what it is.
    auto format = check_story(story.file->written_so_far()).format;
    auto story_path = folder / path_from_utf8(story_file_name(stem, *chosen, format));
    unpacked.push_back(std::move(story.file));
    for (const auto& c :
         format ? companions_of(*chosen, *format, members, stem) : std::vector<companion>{}) {
        auto file = extract(zip.get(), *c.in_archive, folder / path_from_utf8(c.file_name), limit);
        if (!file.file)
            return fail(file.problem);
        unpacked.push_back(std::move(file.file));
    }
    for (size_t i = 0; i < unpacked.size(); ++i)
        if (!(i == 0 ? unpacked[i]->commit_as(story_path) : unpacked[i]->commit()))
            return fail("The story could not be unpacked into the save folder.");
    result.story = story_path;
    return result;
}

} // namespace tw
