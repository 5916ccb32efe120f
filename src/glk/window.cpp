#include "glk/window.h"

#include "glk/utf8.h"

#include <cstdio>

namespace tw::glk {
namespace {

// Glk forbids printing control characters other than newline; they would
// only reach the player as noise.
bool printable(char32_t ch) {
    return ch == '\t' || (ch >= 0x20 && ch < 0x7F) || ch >= 0xA0;
}

} // namespace

glkote::style style_of(glui32 style) {
    return style < style_NUMSTYLES ? static_cast<glkote::style>(style) : glkote::style::normal;
}

std::string css_color(glui32 color) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06X", static_cast<unsigned>(color & 0xFFFFFF));
    return text;
}

glkote::paragraph& buffer_window::current_line() {
    if (!line_open_) {
        pending_.push_back({false, flowbreak_next_, {}});
        flowbreak_next_ = false;
        line_open_ = true;
    } else if (pending_.empty()) {
        pending_.push_back({true, false, {}});
    }
    return pending_.back();
}

void buffer_window::put(char32_t ch, glui32 style, glui32 link) {
    if (ch == '\n') {
        if (!line_open_) {
            pending_.push_back({false, flowbreak_next_, {}});
            flowbreak_next_ = false;
        }
        line_open_ = false;
        return;
    }
    if (!printable(ch))
        return;
    auto& runs = current_line().runs;
    if (runs.empty() || runs.back().picture || runs.back().style != style_of(style) ||
        runs.back().hyperlink != link)
        runs.push_back({style_of(style), {}, std::nullopt, link});
    append_utf8(runs.back().text, ch);
}

void buffer_window::put_picture(glkote::image picture, glui32 link) {
    current_line().runs.push_back({glkote::style::normal, {}, std::move(picture), link});
}

void buffer_window::flow_break() {
    flowbreak_next_ = true;
    line_open_ = false;
}

void buffer_window::clear() {
    pending_.clear();
    cleared_ = true;
    line_open_ = false;
    flowbreak_next_ = false;
}

std::string buffer_window::pending_text() const {
    std::string text;
    for (size_t i = 0; i < pending_.size(); ++i) {
        if (i > 0)
            text += '\n';
        for (auto& r : pending_[i].runs)
            text += r.text;
    }
    return text;
}

std::optional<glkote::window_content> buffer_window::take_content() {
    if (!cleared_ && pending_.empty())
        return std::nullopt;
    glkote::window_content content{
        id, glkote::window_type::buffer, cleared_, std::move(pending_), {}, {}};
    pending_.clear();
    cleared_ = false;
    return content;
}

void grid_window::resize(glui32 columns, glui32 rows) {
    if (columns == columns_ && rows == rows_)
        return;
    std::vector<cell> cells(size_t{columns} * rows);
    for (glui32 y = 0; y < std::min(rows, rows_); ++y)
        for (glui32 x = 0; x < std::min(columns, columns_); ++x)
            cells[size_t{y} * columns + x] = cells_[size_t{y} * columns_ + x];
    cells_ = std::move(cells);
    columns_ = columns;
    rows_ = rows;
    dirty_.assign(rows, true);
}

void grid_window::put(char32_t ch, glui32 style, glui32 link) {
    auto next_line = [this] {
        cursor_x_ = 0;
        if (cursor_y_ < rows_)
            ++cursor_y_;
    };
    if (ch == '\n') {
        next_line();
        return;
    }
    if (!printable(ch))
        return;
    if (cursor_x_ >= columns_)
        next_line();
    if (cursor_y_ >= rows_ || columns_ == 0)
        return;
    cells_[size_t{cursor_y_} * columns_ + cursor_x_] = {ch, style, link};
    dirty_[cursor_y_] = true;
    ++cursor_x_;
}

void grid_window::clear() {
    cells_.assign(cells_.size(), cell{});
    dirty_.assign(rows_, true);
    cursor_x_ = cursor_y_ = 0;
}

std::u32string grid_window::line_text(glui32 row) const {
    std::u32string text;
    for (glui32 x = 0; row < rows_ && x < columns_; ++x)
        text.push_back(cells_[size_t{row} * columns_ + x].ch);
    return text;
}

std::optional<glkote::window_content> grid_window::take_content() {
    glkote::window_content content{id, glkote::window_type::grid, false, {}, {}, {}};
    for (glui32 y = 0; y < rows_; ++y) {
        if (!dirty_[y])
            continue;
        dirty_[y] = false;
        // Trailing blanks in the normal style are what GlkOte pads with.
        const cell* row = &cells_[size_t{y} * columns_];
        glui32 end = columns_;
        while (end > 0 && row[end - 1].ch == ' ' && row[end - 1].same_run(cell{}))
            --end;
        glkote::grid_line line{y, {}};
        std::string text;
        for (glui32 x = 0; x < end; ++x) {
            append_utf8(text, row[x].ch);
            if (x + 1 == end || !row[x + 1].same_run(row[x])) {
                line.runs.push_back(
                    {style_of(row[x].style), std::move(text), std::nullopt, row[x].link});
                text.clear();
            }
        }
        content.lines.push_back(std::move(line));
    }
    if (content.lines.empty())
        return std::nullopt;
    return content;
}

void graphics_window::clear() {
    // Whatever was drawn before is covered; the fill colour stays.
    draws_.clear();
    draws_.push_back({glkote::draw::set_color, css_color(background_), std::nullopt, {}});
    draws_.push_back({glkote::draw::fill, std::nullopt, std::nullopt, {}});
}

void graphics_window::set_background(glui32 color) {
    background_ = color;
    draws_.push_back({glkote::draw::set_color, css_color(color), std::nullopt, {}});
}

void graphics_window::fill(std::optional<glui32> color, glsi32 left, glsi32 top, glui32 width,
                           glui32 height) {
    if (width == 0 || height == 0)
        return;
    draws_.push_back({glkote::draw::fill,
                      color ? std::optional(css_color(*color)) : std::nullopt,
                      glkote::draw::area{left, top, width, height},
                      {}});
}

void graphics_window::draw(glkote::image picture) {
    draws_.push_back({glkote::draw::picture, std::nullopt, std::nullopt, std::move(picture)});
}

std::optional<glkote::window_content> graphics_window::take_content() {
    if (draws_.empty())
        return std::nullopt;
    glkote::window_content content{
        id, glkote::window_type::graphics, false, {}, {}, std::move(draws_)};
    draws_.clear();
    return content;
}

} // namespace tw::glk
