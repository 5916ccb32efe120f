#pragma once
// Window positions from GlkOte's metrics, as GlkOte lays windows out: the
// root fills the port inside the outer spacing, each pair gives its
// constrained child the split size and the other child the rest.
#include "glk/window.h"

#include <utility>

namespace tw::glk {

using glkote::metrics;

// Places `root` and everything below it, and resizes grids to fit.
void lay_out(glk_window_struct* root, const metrics& m);

// A window's size in its own measure: grid cells, buffer characters of the
// normal font, graphics pixels; 0 by 0 for blank and pair windows.
std::pair<glui32, glui32> window_size(const glk_window_struct& win, const metrics& m);

} // namespace tw::glk
