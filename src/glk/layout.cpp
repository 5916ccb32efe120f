#include "glk/layout.h"

#include <algorithm>
#include <cmath>

namespace tw::glk {
namespace {

// Grids keep a cell per character, so absurd metrics must not make them huge.
constexpr double max_grid_cells = 1000, max_cells = 100000;

glui32 cells(double space, double margin, double char_size, double limit) {
    double count = std::floor((space - margin) / char_size);
    return count > 0 ? static_cast<glui32>(std::min(count, limit)) : 0;
}

// What the key window needs for `size` of its units along the split.
double fixed_extent(const glk_window_struct* key, glui32 size, bool vertical, const metrics& m) {
    if (!key)
        return 0;
    switch (key->type) {
    case wintype_TextGrid:
        return vertical ? size * m.gridcharwidth + m.gridmarginx
                        : size * m.gridcharheight + m.gridmarginy;
    case wintype_TextBuffer:
        return vertical ? size * m.buffercharwidth + m.buffermarginx
                        : size * m.buffercharheight + m.buffermarginy;
    case wintype_Graphics:
        return vertical ? size + m.graphicsmarginx : size + m.graphicsmarginy;
    default:
        return 0;
    }
}

void place(glk_window_struct* win, rect box, const metrics& m) {
    win->box = box;
    if (auto* grid = dynamic_cast<grid_window*>(win)) {
        auto [columns, rows] = window_size(*grid, m);
        grid->resize(columns, rows);
    }
    auto* pair = dynamic_cast<pair_window*>(win);
    if (!pair)
        return;
    bool vertical = pair->vertical();
    double total = vertical ? box.width : box.height;
    double spacing = pair->border ? (vertical ? m.inspacingx : m.inspacingy) : 0;
    double available = std::max(0.0, total - spacing);
    double split = pair->division == winmethod_Fixed
                       ? fixed_extent(pair->key, pair->size, vertical, m)
                       : std::floor(available * std::min<glui32>(pair->size, 100) / 100);
    split = std::clamp(split, 0.0, available);

    glk_window_struct* first = pair->backward() ? pair->child2 : pair->child1;
    glk_window_struct* second = pair->backward() ? pair->child1 : pair->child2;
    double first_extent = pair->backward() ? split : available - split;
    double second_extent = available - first_extent;
    rect a = box, b = box;
    if (vertical) {
        a.width = first_extent;
        b.left = box.left + first_extent + spacing;
        b.width = second_extent;
    } else {
        a.height = first_extent;
        b.top = box.top + first_extent + spacing;
        b.height = second_extent;
    }
    place(first, a, m);
    place(second, b, m);
}

} // namespace

void lay_out(glk_window_struct* root, const metrics& m) {
    if (!root)
        return;
    rect port{m.outspacingx, m.outspacingy, std::max(0.0, m.width - 2 * m.outspacingx),
              std::max(0.0, m.height - 2 * m.outspacingy)};
    place(root, port, m);
}

std::pair<glui32, glui32> window_size(const glk_window_struct& win, const metrics& m) {
    const rect& b = win.box;
    switch (win.type) {
    case wintype_TextGrid:
        return {cells(b.width, m.gridmarginx, m.gridcharwidth, max_grid_cells),
                cells(b.height, m.gridmarginy, m.gridcharheight, max_grid_cells)};
    case wintype_TextBuffer:
        return {cells(b.width, m.buffermarginx, m.buffercharwidth, max_cells),
                cells(b.height, m.buffermarginy, m.buffercharheight, max_cells)};
    case wintype_Graphics:
        return {cells(b.width, m.graphicsmarginx, 1, max_cells),
                cells(b.height, m.graphicsmarginy, 1, max_cells)};
    default:
        return {0, 0};
    }
}

} // namespace tw::glk
