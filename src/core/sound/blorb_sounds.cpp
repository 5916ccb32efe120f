#include "core/sound/blorb_sounds.h"

extern "C" {
#include "glk.h"

#include "gi_blorb.h"
}

#include <fstream>

// gi_blorb.c reads its file through two Glk stream calls; here they read a
// plain file. (Tallowick is no Glk program: these are its only Glk calls.)
struct glk_stream_struct {
    std::ifstream in;
};

extern "C" void glk_stream_set_position(strid_t stream, glsi32 pos, glui32 seekmode) {
    stream->in.clear();
    stream->in.seekg(pos, seekmode == seekmode_Start     ? std::ios::beg
                          : seekmode == seekmode_Current ? std::ios::cur
                                                         : std::ios::end);
}

extern "C" glui32 glk_get_buffer_stream(strid_t stream, char* buf, glui32 len) {
    stream->in.read(buf, len);
    return static_cast<glui32>(stream->in.gcount());
}

namespace tw {
namespace {

// The sound chunks Glk plays: AIFF (a FORM), Ogg Vorbis and MOD.
bool playable(glui32 chunk_type) {
    return chunk_type == giblorb_make_id('F', 'O', 'R', 'M') ||
           chunk_type == giblorb_make_id('O', 'G', 'G', 'V') ||
           chunk_type == giblorb_make_id('M', 'O', 'D', ' ');
}

} // namespace

blorb_sounds::blorb_sounds(const std::filesystem::path& story) : stream(new glk_stream_struct) {
    stream->in.open(story, std::ios::binary);
    if (!stream->in || giblorb_create_map(stream.get(), &map) != giblorb_err_None)
        map = nullptr;
}

blorb_sounds::~blorb_sounds() {
    if (map)
        giblorb_destroy_map(map);
}

std::optional<std::vector<unsigned char>> blorb_sounds::sound(std::uint32_t number) {
    giblorb_result_t found;
    if (!map || giblorb_load_resource(map, giblorb_method_Memory, &found, giblorb_ID_Snd,
                                      number) != giblorb_err_None)
        return std::nullopt;
    std::optional<std::vector<unsigned char>> bytes;
    auto* data = static_cast<const unsigned char*>(found.data.ptr);
    if (playable(found.chunktype) && data)
        bytes.emplace(data, data + found.length);
    giblorb_unload_chunk(map, found.chunknum);
    return bytes;
}

} // namespace tw
