// Windows placed from the display's metrics, as GlkOte lays them out.
#include "glk/library.h"
#include "support.h"

#include <array>

namespace tw::glk {
namespace {

void use_metrics(const std::string& metrics) {
    auto arrange = glkote::read_event(R"({"type": "arrange", "metrics": )" + metrics + "}");
    library::get().screen = *arrange->measures;
}

// A window's box, then its size in characters.
using place = std::array<double, 6>;
place place_of(winid_t win) {
    glui32 width, height;
    glk_window_get_size(win, &width, &height);
    return {win->box.left,   win->box.top,  win->box.width,
            win->box.height, double(width), double(height)};
}

TEST(GlkLayout, MarginsSpacingAndCharacterSizesCountAsInGlkOte) {
    use_metrics(R"({"width": 800, "height": 600, "gridcharwidth": 10, "gridcharheight": 20,
                    "buffercharwidth": 8, "buffercharheight": 16, "outspacing": 5,
                    "inspacing": 4, "gridmargin": 6, "buffermarginx": 10, "buffermarginy": 12})");
    winid_t story = glk_window_open(nullptr, 0, 0, wintype_TextBuffer, 1);
    winid_t status =
        glk_window_open(story, winmethod_Above | winmethod_Fixed, 2, wintype_TextGrid, 2);
    EXPECT_EQ(place_of(status), (place{5, 5, 790, 46, 78, 2}));
    EXPECT_EQ(place_of(story), (place{5, 55, 790, 540, 97, 33}));
    winid_t side =
        glk_window_open(story, winmethod_Right | winmethod_Proportional, 25, wintype_TextBuffer, 3);
    EXPECT_EQ(place_of(story), (place{5, 55, 590, 540, 72, 33}));
    EXPECT_EQ(place_of(side), (place{599, 55, 196, 540, 23, 33}));
    glk_window_close(glk_window_get_root(), nullptr);
    EXPECT_EQ(glk_window_get_root(), nullptr);
}

TEST(GlkLayout, ArrangementsResizeButNeverTurnAndALostKeyMeasuresNothing) {
    use_metrics(R"({"width": 80, "height": 50})");
    winid_t a = glk_window_open(nullptr, 0, 0, wintype_TextBuffer, 1);
    winid_t b = glk_window_open(a, winmethod_Below | winmethod_Fixed, 10, wintype_TextGrid, 2);
    winid_t pair = glk_window_get_parent(b);
    // The upper window becomes the constrained one; neither moves.
    glk_window_set_arrangement(pair, winmethod_Above | winmethod_Fixed, 5, a);
    EXPECT_EQ(place_of(a), (place{0, 0, 80, 5, 80, 5}));
    EXPECT_EQ(place_of(b), (place{0, 5, 80, 45, 80, 45}));
    glui32 method, size;
    winid_t key;
    glk_window_get_arrangement(pair, &method, &size, &key);
    EXPECT_EQ(std::tuple(method, size, key),
              std::tuple(glui32{winmethod_Above | winmethod_Fixed | winmethod_Border}, 5u, a));
    glk_window_set_arrangement(pair, winmethod_Left | winmethod_Fixed, 5, nullptr);
    EXPECT_EQ(place_of(a), (place{0, 0, 80, 5, 80, 5}));

    // Split a's key window c, then close c: its sibling d keeps the split, with no key.
    winid_t c = glk_window_open(b, winmethod_Above | winmethod_Fixed, 2, wintype_TextGrid, 3);
    winid_t d =
        glk_window_open(c, winmethod_Right | winmethod_Proportional, 50, wintype_TextBuffer, 4);
    glk_window_close(c, nullptr);
    EXPECT_EQ(glk_window_get_sibling(d), b);
    EXPECT_EQ(place_of(d), (place{0, 5, 80, 0, 80, 0}));
    EXPECT_EQ(place_of(b), (place{0, 5, 80, 45, 80, 45}));
    glk_window_close(glk_window_get_root(), nullptr);
}

} // namespace
} // namespace tw::glk
