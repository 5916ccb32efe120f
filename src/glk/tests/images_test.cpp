// What is read from a Blorb's pictures: sizes and descriptions.
#include "glk/images.h"
#include "support.h"

namespace tw::glk {
namespace {

std::span<const unsigned char> bytes(const std::string& text) {
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

// A PNG's size as it is drawn: protocol_test's graphics window.
TEST(GlkImages, SizesComeFromThePngOrJpegHeader) {
    EXPECT_FALSE(png_size(bytes("\x89PNG but no header")));

    // Start of image, an APP0 segment, a fill byte, then the frame header.
    std::string jpeg =
        std::string("\xFF\xD8\xFF\xE0\0\x06JFIF\xFF\xFF\xC2\0\x11\x08\0\x40\0\x60", 21);
    auto size = jpeg_size(bytes(jpeg));
    ASSERT_TRUE(size);
    EXPECT_EQ(std::pair(size->width, size->height), std::pair(0x60u, 0x40u));
    EXPECT_FALSE(jpeg_size(bytes(std::string("\xFF\xD8\xFF\xDA\0\x02", 6))));
    EXPECT_FALSE(jpeg_size(bytes(std::string("\xFF\xD8\xFF\xE0\xFF\xFF", 6))));
}

TEST(GlkImages, DescriptionsAreKeptByUsageAndNumber) {
    std::string chunk = std::string("\0\0\0\3Pict\0\0\0\2\0\0\0\3", 16) + "Two" +
                        std::string("Snd \0\0\0\2\0\0\0\4", 12) + "Bang" +
                        std::string("Pict\0\0\0\5\0\0\0\x50", 12) + "cut short";
    EXPECT_EQ(resource_descriptions(bytes(chunk)),
              (std::map<resource_key, std::string>{{{giblorb_ID_Pict, 2}, "Two"},
                                                   {{giblorb_ID_Snd, 2}, "Bang"}}));
}

} // namespace
} // namespace tw::glk
