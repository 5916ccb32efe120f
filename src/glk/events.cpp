// Events and input requests: glk_select and the line, character, hyperlink,
// mouse and timer calls of the Glk API.
#include "glk/library.h"
#include "glk/unicode.h"

namespace tw::glk {
namespace {

bool accepts_text_input(winid_t win) {
    return win && win->input == input_kind::none &&
           (win->type == wintype_TextBuffer || win->type == wintype_TextGrid);
}

void request_line(winid_t win, void* buf, glui32 maxlen, glui32 initlen, bool unicode) {
    if (!accepts_text_input(win) || !buf)
        return;
    line_request request;
    request.buffer = buf;
    request.capacity = maxlen;
    request.unicode = unicode;
    for (glui32 i = 0; i < std::min(initlen, maxlen); ++i)
        request.initial.push_back(unicode ? static_cast<glui32*>(buf)[i]
                                          : static_cast<unsigned char*>(buf)[i]);
    request.array = retained_array(buf, maxlen, unicode);
    request.terminators = win->line_terminators;
    request.echo = win->echo_line_input;
    if (auto* grid = dynamic_cast<grid_window*>(win)) {
        request.xpos = grid->cursor_x();
        request.ypos = grid->cursor_y();
    }
    win->line = std::move(request);
    win->input = input_kind::line;
    win->input_gen = 0;
    win->partial.reset();
}

void request_char(winid_t win, bool unicode) {
    if (!accepts_text_input(win))
        return;
    win->input = input_kind::character;
    win->char_unicode = unicode;
    win->input_gen = 0;
}

} // namespace

event_t library::finish_line_input(glk_window_struct* win, std::u32string text, glui32 terminator) {
    line_request request = std::move(*win->line);
    win->line.reset();
    win->input = input_kind::none;
    win->partial.reset();

    // Glk asks for composed characters.
    if (request.unicode)
        text = canonical_composition(text);
    if (text.size() > request.capacity)
        text.resize(request.capacity);
    for (size_t i = 0; i < text.size(); ++i) {
        if (request.unicode)
            static_cast<glui32*>(request.buffer)[i] = text[i];
        else
            static_cast<unsigned char*>(request.buffer)[i] =
                text[i] > 0xFF ? '?' : static_cast<unsigned char>(text[i]);
    }

    if (auto* grid = dynamic_cast<grid_window*>(win)) {
        // The line stays where it was typed; output goes on below it.
        grid->move_cursor(request.xpos, request.ypos);
        for (char32_t ch : text)
            grid->put(ch, style_Input, 0);
        grid->move_cursor(0, request.ypos + 1);
    } else if (request.echo) {
        for (char32_t ch : text)
            win->put(ch, style_Input, 0);
        win->put('\n', style_Input, 0);
        if (win->echo_stream) {
            for (char32_t ch : text)
                write_char(win->echo_stream, ch);
            write_char(win->echo_stream, '\n');
        }
    }
    request.array.release(); // the program sees the finished line
    return {evtype_LineInput, win, static_cast<glui32>(text.size()), terminator};
}

void library::cancel_input(glk_window_struct* win) {
    win->line.reset();
    win->input = input_kind::none;
    win->partial.reset();
}

} // namespace tw::glk

using namespace tw::glk;

void glk_select(event_t* event) {
    event_t got = library::get().wait_for_event();
    if (event)
        *event = got;
}

void glk_select_poll(event_t* event) {
    event_t got = library::get().poll_event();
    if (event)
        *event = got;
}

void glk_request_timer_events(glui32 millisecs) {
    auto& lib = library::get();
    if (lib.timer_supported)
        lib.request_timer(millisecs);
}

void glk_request_line_event(winid_t win, char* buf, glui32 maxlen, glui32 initlen) {
    request_line(win, buf, maxlen, initlen, false);
}

void glk_request_line_event_uni(winid_t win, glui32* buf, glui32 maxlen, glui32 initlen) {
    request_line(win, buf, maxlen, initlen, true);
}

void glk_cancel_line_event(winid_t win, event_t* event) {
    event_t cancelled{evtype_None, nullptr, 0, 0};
    if (win && win->line) {
        // What the player had typed so far, as the display last told it.
        std::u32string text = win->partial.value_or(win->line->initial);
        cancelled = library::get().finish_line_input(win, std::move(text), 0);
    }
    if (event)
        *event = cancelled;
}

void glk_request_char_event(winid_t win) {
    request_char(win, false);
}

void glk_request_char_event_uni(winid_t win) {
    request_char(win, true);
}

void glk_cancel_char_event(winid_t win) {
    if (win && win->input == input_kind::character)
        win->input = input_kind::none;
}

void glk_set_echo_line_event(winid_t win, glui32 val) {
    if (win)
        win->echo_line_input = val != 0;
}

void glk_set_terminators_line_event(winid_t win, glui32* keycodes, glui32 count) {
    if (!win)
        return;
    win->line_terminators.clear();
    for (glui32 i = 0; keycodes && i < count; ++i)
        if (glk_gestalt(gestalt_LineTerminatorKey, keycodes[i]))
            win->line_terminators.push_back(keycodes[i]);
}

void glk_request_hyperlink_event(winid_t win) {
    if (!win || (win->type != wintype_TextBuffer && win->type != wintype_TextGrid))
        return;
    if (win->input == input_kind::none)
        win->input_gen = 0; // first asked in the next update
    win->link_input = true;
}

void glk_cancel_hyperlink_event(winid_t win) {
    if (win)
        win->link_input = false;
}

// No mouse input: the display is read by ear and keyboard.
void glk_request_mouse_event(winid_t) {}
void glk_cancel_mouse_event(winid_t) {}
