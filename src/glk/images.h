#pragma once
// What the library reads from a Blorb's pictures: their sizes (from the
// PNG or JPEG header, or a placeholder's Rect chunk); and of any resource,
// picture or sound, the description its RDes chunk gives it, which goes
// to the display as alt text.
#include "glk/glk_api.h"

#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>

namespace tw::glk {

struct image_size {
    glui32 width = 0, height = 0;
};

std::optional<image_size> png_size(std::span<const unsigned char> data);
std::optional<image_size> jpeg_size(std::span<const unsigned char> data);

// The RDes chunk's text for each resource, by its usage (giblorb_ID_Pict,
// giblorb_ID_Snd) and number.
using resource_key = std::pair<glui32, glui32>;
std::map<resource_key, std::string> resource_descriptions(std::span<const unsigned char> chunk);

// Of the story's Blorb: a resource's description, and the type of the
// chunk that holds it (0 when there is none).
std::optional<std::string> description_of(glui32 usage, glui32 number);
glui32 resource_chunk_type(glui32 usage, glui32 number);

} // namespace tw::glk
