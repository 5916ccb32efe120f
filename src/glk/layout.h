#pragma once
// Window positions from GlkOte's metrics, as GlkOte lays windows out: the
// root fills the port inside the outer spacing, each pair gives its
// constrained child the split size and the other child the rest.
#include "glk/window.h"

#include <utility>

namespace tw::glk {

struct metrics {
    double width = 80, height = 24;
    double outspacingx = 0, outspacingy = 0, inspacingx = 0, inspacingy = 0;
    double gridcharwidth = 1, gridcharheight = 1, gridmarginx = 0, gridmarginy = 0;
    double buffercharwidth = 1, buffercharheight = 1, buffermarginx = 0, buffermarginy = 0;
    double graphicsmarginx = 0, graphicsmarginy = 0;
};

// GlkOte's metrics object; absent fields are 0 (character sizes 1), and
// the shorthand fields (charwidth, spacing, gridmargin...) set their pairs.
metrics parse_metrics(const json& object);

// Places `root` and everything below it, and resizes grids to fit.
void lay_out(glk_window_struct* root, const metrics& m);

// A window's size in its own measure: grid cells, buffer characters of the
// normal font, graphics pixels; 0 by 0 for blank and pair windows.
std::pair<glui32, glui32> window_size(const glk_window_struct& win, const metrics& m);

} // namespace tw::glk
