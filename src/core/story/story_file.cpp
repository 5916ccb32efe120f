#include "core/story/story_file.h"

#include "core/story/babel.h"
#include "core/text/utf8.h"

#include <algorithm>
#include <fstream>
#include <mutex>
#include <vector>

namespace tw {
namespace {

// Some of babel's modules keep what they work on in static variables.
std::mutex babel_in_use;

// The first `limit` bytes of `file`, and whether it holds more; none when it
// cannot be read.
struct file_read {
    std::vector<unsigned char> bytes;
    bool more = false;
};
std::optional<file_read> read_file(const std::filesystem::path& file, std::uintmax_t limit) {
    std::ifstream in(file, std::ios::binary);
    std::error_code ec;
    auto size = std::filesystem::file_size(file, ec);
    if (!in || ec)
        return std::nullopt;
    file_read read;
    read.bytes.resize(static_cast<std::size_t>(std::min(size, limit)));
    read.more = size > limit;
    if (!in.read(reinterpret_cast<char*>(read.bytes.data()),
                 static_cast<std::streamsize>(read.bytes.size())))
        return std::nullopt;
    return read;
}

// A story known: its format, and a Blorb's game copied out of it.
struct identified {
    story_check check;
    std::vector<unsigned char> blorbed;
};

// The game's own bytes: the file's, or its Blorb's game.
file_bytes game_of(const identified& known, file_bytes story) {
    return known.blorbed.empty() ? story : file_bytes(known.blorbed);
}

std::string extension_of(const std::string& name) {
    auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : ascii_lower(name.substr(dot + 1));
}

identified identify(file_bytes story, const std::string& name) {
    identified result;
    auto cannot = [&](std::string why) {
        result.check.problem = "Tallowick cannot play the file " + name + ": " + why + ".";
        return result;
    };
    const story_format* found = nullptr;
    std::lock_guard lock(babel_in_use);
    if (babel::ask(blorb_treaty, babel::claim, story) == babel::no_reply) {
        // A Blorb: the format its game's chunk names, if its own check
        // knows the game that the Blorb's index calls its executable.
        char format_name[TREATY_MINIMUM_EXTENT] = {};
        auto has_format = babel::ask(blorb_treaty, babel::contained_format, story, format_name,
                                     sizeof format_name) > 0;
        auto size = babel::ask(blorb_treaty, babel::contained_size, story);
        if (size > 0) {
            result.blorbed.resize(static_cast<std::size_t>(size));
            if (babel::ask(blorb_treaty, babel::contained_story, story, result.blorbed.data(),
                           size) != size)
                result.blorbed.clear();
        }
        if (!has_format && result.blorbed.empty())
            return cannot("it is a Blorb file with pictures or sounds but no game in it");
        if (!has_format)
            return cannot(
                "the game in this Blorb file is in a format that Tallowick does not know");
        std::string_view chunk = blorb_chunk_for_name(format_name);
        for (const auto& f : story_formats())
            if (!found && f.blorb_chunk == chunk && f.check && f.check(result.blorbed))
                found = &f;
        if (!found)
            return cannot("it is a damaged Blorb file");
    } else {
        for (const auto& f : story_formats())
            if (!found && f.check && f.check(story))
                found = &f;
        auto extension = extension_of(name);
        for (const auto& f : story_formats())
            if (!found && !f.check &&
                std::find(f.extensions.begin(), f.extensions.end(), extension) !=
                    f.extensions.end())
                found = &f;
        if (!found)
            return cannot("it is not a game in any format that Tallowick knows");
    }
    if (found->program.empty()) {
        result.check.problem = "The file " + name + " is " + with_article(*found) +
                               " game, which Tallowick cannot play yet.";
        return result;
    }
    result.check.format = found;
    return result;
}

std::optional<identified> identify_file(const std::filesystem::path& story, std::string& problem,
                                        std::vector<unsigned char>& bytes) {
    const std::string name = utf8_of(story.filename());
    auto read = read_file(story, story_size_limit);
    if (!read) {
        problem = "The story file " + name + " could not be read.";
        return std::nullopt;
    }
    if (read->more) {
        problem = "Tallowick cannot play the file " + name + ": it is too large to be a game.";
        return std::nullopt;
    }
    bytes = std::move(read->bytes);
    auto known = identify(bytes, name);
    if (!known.check.format) {
        problem = known.check.problem;
        return std::nullopt;
    }
    return known;
}

} // namespace

story_check identify_story(file_bytes story, const std::string& name) {
    return identify(story, name).check;
}

story_check check_story(const std::filesystem::path& story) {
    std::string problem;
    std::vector<unsigned char> bytes;
    auto known = identify_file(story, problem, bytes);
    return known ? known->check : story_check{nullptr, problem};
}

std::optional<std::string> save_misfit(const std::filesystem::path& save,
                                       const std::filesystem::path& story) {
    const std::string name = utf8_of(save.filename());
    const std::string not_a_save =
        "The file " + name + " is not a saved game that Tallowick can restore.";
    // Enough for every save header (a TADS 2 save's game name is at most
    // 65535 bytes).
    auto saved = read_file(save, 128 << 10);
    if (!saved)
        return not_a_save;
    std::string problem;
    std::vector<unsigned char> bytes;
    auto known = identify_file(story, problem, bytes);
    if (!known)
        return std::nullopt; // the game does not start; that is told
    const auto& format = *known->check.format;
    const story_format* saved_in = nullptr;
    for (const auto& f : story_formats())
        if (!saved_in && f.saves.is_one && f.saves.is_one(saved->bytes))
            saved_in = &f;
    if (saved_in && saved_in->saves.is_one != format.saves.is_one)
        return "The saved game " + name + " was saved in " + with_article(*saved_in) +
               " game, and cannot be restored in this one.";
    if (format.saves.is_one && !saved_in)
        return not_a_save;
    if (format.saves.fits && !format.saves.fits(saved->bytes, game_of(*known, bytes)))
        return "The saved game " + name +
               " was saved in another game, and cannot be restored in "
               "this one.";
    return std::nullopt;
}

} // namespace tw
