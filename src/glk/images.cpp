// Pictures and Blorb resources: the image, graphics-window and resource
// stream calls of the Glk API, and the Blorb map they read.
#include "glk/images.h"

#include "glk/library.h"

#include <cstring>

namespace tw::glk {
namespace {

glui32 big_endian(const unsigned char* p, int bytes) {
    glui32 value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | p[i];
    return value;
}

// The story's Blorb, when it is one, and what has been read from it.
struct blorb_resources {
    giblorb_map_t* map = nullptr;
    std::map<glui32, std::optional<image_size>> sizes;
    std::optional<std::map<resource_key, std::string>> descriptions;
};

blorb_resources& resources() {
    static blorb_resources loaded;
    return loaded;
}

// A chunk's bytes, copied out of the map's memory.
std::optional<std::vector<unsigned char>> load(giblorb_err_t found, giblorb_result_t& result) {
    if (found != giblorb_err_None)
        return std::nullopt;
    auto* bytes = static_cast<const unsigned char*>(result.data.ptr);
    std::vector<unsigned char> data;
    if (bytes)
        data.assign(bytes, bytes + result.length);
    giblorb_unload_chunk(resources().map, result.chunknum);
    return data;
}

std::optional<image_size> size_of(glui32 image) {
    auto& blorb = resources();
    if (!blorb.map)
        return std::nullopt;
    if (auto known = blorb.sizes.find(image); known != blorb.sizes.end())
        return known->second;
    giblorb_result_t result;
    auto data = load(
        giblorb_load_resource(blorb.map, giblorb_method_Memory, &result, giblorb_ID_Pict, image),
        result);
    std::optional<image_size> size;
    if (data) {
        if (result.chunktype == giblorb_make_id('P', 'N', 'G', ' '))
            size = png_size(*data);
        else if (result.chunktype == giblorb_make_id('J', 'P', 'E', 'G'))
            size = jpeg_size(*data);
        else if (result.chunktype == giblorb_make_id('R', 'e', 'c', 't') && data->size() >= 8)
            size = image_size{big_endian(data->data(), 4), big_endian(data->data() + 4, 4)};
    }
    return blorb.sizes[image] = size;
}

// An alignment Glk does not know is inline, at the top.
glkote::image_alignment alignment_of(glsi32 alignment) {
    return alignment >= imagealign_InlineUp && alignment <= imagealign_MarginRight
               ? static_cast<glkote::image_alignment>(alignment)
               : glkote::image_alignment::inline_up;
}

template <class Window> Window* graphics_target(winid_t win) {
    return library::get().graphics_supported ? dynamic_cast<Window*>(win) : nullptr;
}

} // namespace

std::optional<image_size> png_size(std::span<const unsigned char> data) {
    static const unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (data.size() < 24 || std::memcmp(data.data(), signature, 8) != 0 ||
        std::memcmp(data.data() + 12, "IHDR", 4) != 0)
        return std::nullopt;
    return image_size{big_endian(&data[16], 4), big_endian(&data[20], 4)};
}

std::optional<image_size> jpeg_size(std::span<const unsigned char> data) {
    if (data.size() < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return std::nullopt;
    size_t at = 2;
    while (at + 4 <= data.size()) {
        if (data[at] != 0xFF)
            return std::nullopt;
        unsigned char marker = data[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) { // no length follows
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) // the end, or the image data: no frame header
            return std::nullopt;
        size_t length = big_endian(&data[at + 2], 2);
        bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && length >= 7 && at + 9 <= data.size())
            return image_size{big_endian(&data[at + 7], 2), big_endian(&data[at + 5], 2)};
        at += 2 + length;
    }
    return std::nullopt;
}

std::map<resource_key, std::string> resource_descriptions(std::span<const unsigned char> chunk) {
    std::map<resource_key, std::string> descriptions;
    if (chunk.size() < 4)
        return descriptions;
    glui32 count = big_endian(chunk.data(), 4);
    size_t at = 4;
    for (glui32 i = 0; i < count && at + 12 <= chunk.size(); ++i) {
        glui32 usage = big_endian(&chunk[at], 4);
        glui32 number = big_endian(&chunk[at + 4], 4);
        size_t length = big_endian(&chunk[at + 8], 4);
        at += 12;
        if (length > chunk.size() - at)
            break;
        descriptions[{usage, number}].assign(reinterpret_cast<const char*>(&chunk[at]), length);
        at += length;
    }
    return descriptions;
}

std::optional<std::string> description_of(glui32 usage, glui32 number) {
    auto& blorb = resources();
    if (!blorb.map)
        return std::nullopt;
    if (!blorb.descriptions) {
        giblorb_result_t result;
        auto chunk = load(giblorb_load_chunk_by_type(blorb.map, giblorb_method_Memory, &result,
                                                     giblorb_make_id('R', 'D', 'e', 's'), 0),
                          result);
        blorb.descriptions = chunk ? resource_descriptions(*chunk)
                                   : std::map<resource_key, std::string>();
    }
    auto found = blorb.descriptions->find({usage, number});
    if (found == blorb.descriptions->end())
        return std::nullopt;
    return found->second;
}

glui32 resource_chunk_type(glui32 usage, glui32 number) {
    giblorb_result_t result;
    auto* map = resources().map;
    if (!map || giblorb_load_resource(map, giblorb_method_DontLoad, &result, usage, number) !=
                    giblorb_err_None)
        return 0;
    return result.chunktype;
}

} // namespace tw::glk

using namespace tw::glk;

giblorb_err_t giblorb_set_resource_map(strid_t file) {
    giblorb_map_t* map = nullptr;
    giblorb_err_t error = giblorb_create_map(file, &map);
    if (error != giblorb_err_None)
        return error;
    auto& blorb = resources();
    if (blorb.map)
        giblorb_destroy_map(blorb.map);
    blorb = {};
    blorb.map = map;
    return giblorb_err_None;
}

giblorb_map_t* giblorb_get_resource_map(void) {
    return resources().map;
}

glui32 glk_image_get_info(glui32 image, glui32* width, glui32* height) {
    auto size = size_of(image);
    if (!size)
        return 0;
    if (width)
        *width = size->width;
    if (height)
        *height = size->height;
    return 1;
}

glui32 glk_image_draw(winid_t win, glui32 image, glsi32 val1, glsi32 val2) {
    auto size = size_of(image);
    return size ? glk_image_draw_scaled(win, image, val1, val2, size->width, size->height) : 0;
}

glui32 glk_image_draw_scaled(winid_t win, glui32 image, glsi32 val1, glsi32 val2, glui32 width,
                             glui32 height) {
    auto* buffer = graphics_target<buffer_window>(win);
    auto* graphics = graphics_target<graphics_window>(win);
    if ((!buffer && !graphics) || !size_of(image))
        return 0;
    tw::glkote::image picture;
    picture.number = image;
    picture.width = width;
    picture.height = height;
    picture.alttext = description_of(giblorb_ID_Pict, image).value_or("");
    if (buffer) {
        picture.alignment = alignment_of(val1);
        buffer->put_picture(std::move(picture), buffer->stream->link);
    } else {
        picture.x = val1;
        picture.y = val2;
        graphics->draw(std::move(picture));
    }
    return 1;
}

void glk_window_flow_break(winid_t win) {
    if (auto* buffer = dynamic_cast<buffer_window*>(win))
        buffer->flow_break();
}

void glk_window_erase_rect(winid_t win, glsi32 left, glsi32 top, glui32 width, glui32 height) {
    if (auto* graphics = dynamic_cast<graphics_window*>(win))
        graphics->fill(std::nullopt, left, top, width, height);
}

void glk_window_fill_rect(winid_t win, glui32 color, glsi32 left, glsi32 top, glui32 width,
                          glui32 height) {
    if (auto* graphics = dynamic_cast<graphics_window*>(win))
        graphics->fill(color, left, top, width, height);
}

void glk_window_set_background_color(winid_t win, glui32 color) {
    if (auto* graphics = dynamic_cast<graphics_window*>(win))
        graphics->set_background(color);
}

namespace {

strid_t open_resource(glui32 filenum, bool unicode, glui32 rock) {
    auto* map = resources().map;
    if (!map)
        return nullptr;
    giblorb_result_t result;
    auto data =
        load(giblorb_load_resource(map, giblorb_method_Memory, &result, giblorb_ID_Data, filenum),
             result);
    if (!data)
        return nullptr;
    bool text = result.chunktype == giblorb_ID_TEXT;
    return library::get().add_stream(
        std::make_unique<resource_stream>(std::move(*data), text, unicode, rock));
}

} // namespace

strid_t glk_stream_open_resource(glui32 filenum, glui32 rock) {
    return open_resource(filenum, false, rock);
}

strid_t glk_stream_open_resource_uni(glui32 filenum, glui32 rock) {
    return open_resource(filenum, true, rock);
}
