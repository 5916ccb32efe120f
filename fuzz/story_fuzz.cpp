// Feeds arbitrary bytes to the table of formats as a story file, and (after
// a first byte that picks a format's chunk) as the game inside a Blorb,
// through the Treaty of Babel's modules. Invariants: every file is one
// format, or a sentence that names it; a Blorb's game is of the format its
// chunk names, by that format's own check.
#include "common.h"

#include "core/story/story_file.h"

#include <cstring>

using namespace tw;

namespace {

std::string big_endian(std::uint32_t n) {
    return {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
            static_cast<char>(n)};
}

file_bytes bytes_of(const std::string& s) {
    return {reinterpret_cast<const unsigned char*>(s.data()), s.size()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string file(reinterpret_cast<const char*>(data), size);
    auto alone = identify_story(bytes_of(file), "story.dat");
    FUZZ_CHECK(alone.format ? alone.problem.empty()
                            : alone.problem.find("story.dat") != std::string::npos);
    if (size == 0)
        return 0;

    // The same bytes as the executable of a Blorb, under a known chunk.
    const auto formats = story_formats();
    const auto& chosen = formats[data[0] % formats.size()];
    if (chosen.blorb_chunk.empty())
        return 0;
    std::string game = file.substr(1);
    std::string exec = std::string(chosen.blorb_chunk) + big_endian(game.size()) + game +
                       std::string(game.size() % 2, '\0');
    std::string index = "RIdx" + big_endian(16) + big_endian(1) + "Exec" + big_endian(0) +
                        big_endian(12 + 24);
    std::string body = "IFRS" + index + exec;
    auto blorb = identify_story(bytes_of("FORM" + big_endian(body.size()) + body), "story.blb");
    FUZZ_CHECK(blorb.format ? blorb.problem.empty()
                            : blorb.problem.find("story.blb") != std::string::npos);
    if (blorb.format)
        FUZZ_CHECK(blorb.format->blorb_chunk == chosen.blorb_chunk && blorb.format->check &&
                   blorb.format->check(bytes_of(game)));
    return 0;
}
