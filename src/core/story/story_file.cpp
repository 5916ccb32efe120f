#include "core/story/story_file.h"

#include "core/text/utf8.h"

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
// GLUL among the FORM's chunks.
blorb_holds blorb_executable(std::ifstream& in, std::uint32_t form_size) {
    std::uint32_t at = 12, end = form_size + 8;
    while (at + 8 <= end) {
        unsigned char head[8];
        in.seekg(at);
        if (!in.read(reinterpret_cast<char*>(head), 8))
            return blorb_holds::damaged;
        std::string type(reinterpret_cast<char*>(head), 4);
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

} // namespace

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

} // namespace tw
