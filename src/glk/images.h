#pragma once
// What the library reads from a Blorb's pictures: their sizes (from the
// PNG or JPEG header, or a placeholder's Rect chunk) and the descriptions
// its RDes chunk gives them, which go to the display as alt text.
#include "glk/glk_api.h"

#include <map>
#include <optional>
#include <span>
#include <string>

namespace tw::glk {

struct image_size {
    glui32 width = 0, height = 0;
};

std::optional<image_size> png_size(std::span<const unsigned char> data);
std::optional<image_size> jpeg_size(std::span<const unsigned char> data);

// The RDes chunk's text for each picture, by picture number.
std::map<glui32, std::string> picture_descriptions(std::span<const unsigned char> chunk);

} // namespace tw::glk
