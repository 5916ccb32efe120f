#include "core/story/story_file.h"

#include "core/text/utf8.h"

#include <algorithm>
#include <cstdint>
#include <fstream>

namespace tw {
namespace {

std::uint32_t big_endian(const unsigned char* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           p[3];
}

bool is_glulx(const unsigned char* p) {
    return p[0] == 'G' && p[1] == 'l' && p[2] == 'u' && p[3] == 'l';
}

// A Z-machine header: its version, 1 to 8, in the first byte, and a header
// of 64 bytes at least.
bool is_zcode(const unsigned char* p, std::uintmax_t size) {
    return size >= 64 && p[0] >= 1 && p[0] <= 8;
}

enum class blorb_holds { zcode, glulx, nothing, damaged };

// A Blorb is an IFF FORM of type IFRS; its executable is the chunk ZCOD or
// GLUL among the FORM's chunks. `start` is where the executable begins.
blorb_holds blorb_executable(std::ifstream& in, std::uint32_t form_size,
                             std::uint32_t* start = nullptr) {
    std::uint32_t at = 12, end = form_size + 8;
    while (at + 8 <= end) {
        unsigned char head[8];
        in.seekg(at);
        if (!in.read(reinterpret_cast<char*>(head), 8))
            return blorb_holds::damaged;
        std::string type(reinterpret_cast<char*>(head), 4);
        if (start)
            *start = at + 8;
        if (type == "ZCOD")
            return blorb_holds::zcode;
        if (type == "GLUL")
            return blorb_holds::glulx;
        std::uint32_t size = big_endian(head + 4);
        if (size > end - at - 8)
            return blorb_holds::damaged;
        at += 8 + size + (size & 1); // chunks are padded to an even length
    }
    return blorb_holds::nothing;
}

// Where a story's executable begins in its file: 0, or its chunk in a Blorb.
std::uint32_t executable_start(std::ifstream& in) {
    unsigned char head[12];
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(head), 12) ||
        std::string(reinterpret_cast<char*>(head), 4) != "FORM" ||
        std::string(reinterpret_cast<char*>(head) + 8, 4) != "IFRS")
        return 0;
    in.clear();
    std::uint32_t start = 0;
    blorb_executable(in, big_endian(head + 4), &start);
    in.clear();
    return start;
}

// What a Quetzal save's IFhd chunk holds, or "" when it has none.
std::string save_header(const std::filesystem::path& save) {
    std::ifstream in(save, std::ios::binary);
    unsigned char head[12];
    if (!in.read(reinterpret_cast<char*>(head), 12) ||
        std::string(reinterpret_cast<char*>(head), 4) != "FORM" ||
        std::string(reinterpret_cast<char*>(head) + 8, 4) != "IFZS")
        return {};
    std::uint32_t end = big_endian(head + 4) + 8;
    for (std::uint32_t at = 12; at + 8 <= end;) {
        unsigned char chunk[8];
        in.seekg(at);
        if (!in.read(reinterpret_cast<char*>(chunk), 8))
            return {};
        std::uint32_t size = big_endian(chunk + 4);
        if (std::string(reinterpret_cast<char*>(chunk), 4) == "IFhd") {
            if (size > 1024)
                return {};
            std::string data(size, '\0');
            return in.read(data.data(), size) ? data : std::string();
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

} // namespace

std::optional<std::string> save_misfit(const std::filesystem::path& save,
                                       const std::filesystem::path& story) {
    const std::string name = utf8_of(save.filename());
    std::string header = save_header(save);
    if (header.empty())
        return "The file " + name + " is not a saved game that Tallowick can restore.";
    auto format = check_story(story).format;
    // A Z-code save names the game in 13 bytes, a Glulx save in 128.
    auto saved_format = header.size() == 13    ? story_format::zcode
                        : header.size() == 128 ? story_format::glulx
                                               : story_format::unplayable;
    if (saved_format != format) {
        if (saved_format == story_format::unplayable)
            return "The file " + name + " is not a saved game that Tallowick can restore.";
        return "The saved game " + name + " was saved in a " +
               (saved_format == story_format::zcode ? "Z-code" : "Glulx") +
               " game, and cannot be restored in this one.";
    }
    std::ifstream in(story, std::ios::binary);
    std::uint32_t start = executable_start(in);
    unsigned char game[128] = {};
    in.seekg(start);
    if (!in.read(reinterpret_cast<char*>(game), sizeof game))
        return std::nullopt; // the interpreter will tell
    std::string id;
    if (format == story_format::zcode) {
        // Release, serial number and checksum, as the header holds them.
        id.append(reinterpret_cast<char*>(game) + 2, 2);
        id.append(reinterpret_cast<char*>(game) + 0x12, 6);
        id.append(reinterpret_cast<char*>(game) + 0x1C, 2);
        if (header.compare(0, 10, id) == 0)
            return std::nullopt;
    } else if (header == std::string(reinterpret_cast<char*>(game), 128)) {
        return std::nullopt;
    }
    return "The saved game " + name + " was saved in another game, and cannot be restored in "
                                      "this one.";
}

story_check check_story(const std::filesystem::path& story) {
    const std::string name = utf8_of(story.filename());
    std::ifstream in(story, std::ios::binary);
    std::error_code ec;
    auto size = std::filesystem::file_size(story, ec);
    unsigned char head[64] = {};
    if (!in || ec || !in.read(reinterpret_cast<char*>(head), std::min<std::uintmax_t>(size, 64)))
        return {story_format::unplayable, "The story file " + name + " could not be read."};
    if (size >= 12 && std::string(reinterpret_cast<char*>(head), 4) == "FORM" &&
        std::string(reinterpret_cast<char*>(head) + 8, 4) == "IFRS") {
        switch (blorb_executable(in, std::min<std::uint32_t>(big_endian(head + 4),
                                                             static_cast<std::uint32_t>(size - 8)))) {
        case blorb_holds::zcode:
            return {story_format::zcode, {}};
        case blorb_holds::glulx:
            return {story_format::glulx, {}};
        case blorb_holds::nothing:
            return {story_format::unplayable,
                    "The file " + name + " holds no game: it is a Blorb file with pictures or "
                                         "sounds but no story in it."};
        case blorb_holds::damaged:
            return {story_format::unplayable,
                    "The file " + name + " cannot be played: it is a damaged Blorb file."};
        }
    }
    if (size >= 4 && is_glulx(head))
        return {story_format::glulx, {}};
    if (is_zcode(head, size))
        return {story_format::zcode, {}};
    return {story_format::unplayable,
            "The file " + name +
                " cannot be played: it is not a story file, neither a Z-code nor a Glulx game."};
}

bool is_story_extension(std::string_view extension) {
    auto e = ascii_lower(extension);
    return e == "blorb" ||
           std::find(story_extensions.begin(), story_extensions.end(), e) != story_extensions.end();
}

} // namespace tw
