#pragma once
// A story's sound resources, read with the Blorb format's reference code
// (gi_blorb.c, from Debian's glktermw source, as the Glk library reads it).
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

struct giblorb_map_struct;
struct glk_stream_struct;

namespace tw {

class blorb_sounds {
  public:
    explicit blorb_sounds(const std::filesystem::path& story);
    ~blorb_sounds();
    blorb_sounds(const blorb_sounds&) = delete;
    blorb_sounds& operator=(const blorb_sounds&) = delete;

    // Sound `number` as the audio library takes it: an AIFF file (its whole
    // FORM), an Ogg Vorbis stream or a module; none when the story is no
    // Blorb, or holds no such sound in a form Glk plays.
    std::optional<std::vector<unsigned char>> sound(std::uint32_t number);

  private:
    std::unique_ptr<glk_stream_struct> stream;
    giblorb_map_struct* map = nullptr;
};

} // namespace tw
