#pragma once
// The window tree and what each kind of window holds between updates: a
// text buffer its new paragraphs, a grid its changed lines, a graphics
// window its drawing commands, each ready to go out as GlkOte content.
#include "core/glkote/messages.h"
#include "glk/glk_api.h"
#include "glk/registry.h"

#include <optional>
#include <string>
#include <vector>

namespace tw::glk {

struct rect {
    double left = 0, top = 0, width = 0, height = 0;
};

enum class input_kind { none, character, line };

struct line_request {
    void* buffer = nullptr; // the program's, held until the line is done
    glui32 capacity = 0;
    bool unicode = false;
    retained_array array;
    std::u32string initial;
    std::vector<glui32> terminators;
    bool echo = true;
    glui32 xpos = 0, ypos = 0; // where a grid's input begins
};

// The protocol's style of a Glk style; unknown styles are normal.
glkote::style style_of(glui32 style);

} // namespace tw::glk

struct glk_window_struct {
    glk_window_struct(glui32 type, glui32 rock) : type(type), rock(rock) {}
    virtual ~glk_window_struct() = default;
    glk_window_struct(const glk_window_struct&) = delete;
    glk_window_struct& operator=(const glk_window_struct&) = delete;

    const glui32 type;
    const glui32 rock;
    glui32 id = 0; // the protocol's, never reused
    size_t list_index = 0;
    gidispatch_rock_t dispatch_rock{};
    glk_window_struct* parent = nullptr;
    glk_stream_struct* stream = nullptr; // owned by the stream list
    glk_stream_struct* echo_stream = nullptr;
    tw::glk::rect box;

    tw::glk::input_kind input = tw::glk::input_kind::none;
    bool char_unicode = false;
    std::optional<tw::glk::line_request> line;
    glui32 input_gen = 0; // the update that posted the request; 0 before that
    bool echo_line_input = true;
    std::vector<glui32> line_terminators;
    std::optional<std::u32string> partial; // the player's unfinished line, as last reported
    bool link_input = false; // a hyperlink event requested

    // A character in a style, in the link `link` (0: none).
    virtual void put(char32_t, glui32 /*style*/, glui32 /*link*/) {}
    virtual void clear() {}
    // The changes since the last update, if any.
    virtual std::optional<tw::glkote::window_content> take_content() { return std::nullopt; }
};

namespace tw::glk {

class pair_window final : public glk_window_struct {
  public:
    pair_window() : glk_window_struct(wintype_Pair, 0) {}

    // child2 is the constrained one, on the side `direction` names.
    glk_window_struct* child1 = nullptr;
    glk_window_struct* child2 = nullptr;
    glui32 direction = winmethod_Above;
    glui32 division = winmethod_Proportional;
    bool border = true;
    glui32 size = 50;
    glk_window_struct* key = nullptr;

    bool vertical() const { return direction == winmethod_Left || direction == winmethod_Right; }
    // Left and Above put child2 first.
    bool backward() const { return direction == winmethod_Left || direction == winmethod_Above; }
};

class blank_window final : public glk_window_struct {
  public:
    explicit blank_window(glui32 rock) : glk_window_struct(wintype_Blank, rock) {}
};

class buffer_window final : public glk_window_struct {
  public:
    explicit buffer_window(glui32 rock) : glk_window_struct(wintype_TextBuffer, rock) {}

    void put(char32_t ch, glui32 style, glui32 link) override;
    void clear() override;
    std::optional<glkote::window_content> take_content() override;

    // A picture, inline in the current line, in the link `link` (0: none).
    void put_picture(glkote::image picture, glui32 link);
    void flow_break();
    // The text waiting to go out, lines joined with "\n".
    std::string pending_text() const;

  private:
    glkote::paragraph& current_line();

    std::vector<glkote::paragraph> pending_;
    bool cleared_ = false;
    bool line_open_ = false; // the last line shown can still be added to
    bool flowbreak_next_ = false;
};

class grid_window final : public glk_window_struct {
  public:
    explicit grid_window(glui32 rock) : glk_window_struct(wintype_TextGrid, rock) {}

    void put(char32_t ch, glui32 style, glui32 link) override;
    void clear() override;
    std::optional<glkote::window_content> take_content() override;

    void resize(glui32 columns, glui32 rows);
    void move_cursor(glui32 x, glui32 y) {
        cursor_x_ = x;
        cursor_y_ = y;
    }
    glui32 cursor_x() const { return cursor_x_; }
    glui32 cursor_y() const { return cursor_y_; }
    glui32 columns() const { return columns_; }
    glui32 rows() const { return rows_; }
    std::u32string line_text(glui32 row) const;

  private:
    struct cell {
        char32_t ch = ' ';
        glui32 style = style_Normal;
        glui32 link = 0;
        bool same_run(const cell& other) const { return style == other.style && link == other.link; }
    };
    std::vector<cell> cells_;
    std::vector<bool> dirty_;
    glui32 columns_ = 0, rows_ = 0;
    glui32 cursor_x_ = 0, cursor_y_ = 0;
};

class graphics_window final : public glk_window_struct {
  public:
    explicit graphics_window(glui32 rock) : glk_window_struct(wintype_Graphics, rock) {}

    void clear() override;
    std::optional<glkote::window_content> take_content() override;

    void set_background(glui32 color);
    void fill(std::optional<glui32> color, glsi32 left, glsi32 top, glui32 width, glui32 height);
    void draw(glkote::image picture);

  private:
    std::vector<glkote::draw> draws_;
    glui32 background_ = 0xFFFFFF;
};

// "#RRGGBB" of a Glk colour.
std::string css_color(glui32 color);

} // namespace tw::glk
