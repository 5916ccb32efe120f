// What the library can do (gestalt), and the calls that change nothing
// the display shows: exit and ticks, Latin-1 case, styles and their hints,
// and neither sound nor hyperlinks, which have files of their own.
#include "glk/library.h"

using namespace tw::glk;

namespace {

bool special_key(glui32 ch) {
    return ch >= keycode_Func12 && ch != keycode_Unknown;
}

bool printable(glui32 ch) {
    return (ch >= 0x20 && ch < 0x7F) || (ch >= 0xA0 && ch < 0xD800) ||
           (ch > 0xDFFF && ch <= 0x10FFFF);
}

bool line_terminator(glui32 ch) {
    return ch == keycode_Escape || (ch >= keycode_Func12 && ch <= keycode_Func1);
}

} // namespace

glui32 glk_gestalt(glui32 sel, glui32 val) {
    return glk_gestalt_ext(sel, val, nullptr, 0);
}

glui32 glk_gestalt_ext(glui32 sel, glui32 val, glui32* arr, glui32 arrlen) {
    auto& lib = library::get();
    switch (sel) {
    case gestalt_Version:
        return 0x00000705;
    case gestalt_CharInput:
        return printable(val) || special_key(val);
    case gestalt_LineInput:
        return printable(val);
    case gestalt_CharOutput: {
        bool exact = printable(val) || val == '\n';
        if (arr && arrlen > 0)
            arr[0] = exact ? 1 : 0;
        return exact ? gestalt_CharOutput_ExactPrint : gestalt_CharOutput_CannotPrint;
    }
    case gestalt_Timer:
        return lib.timer_supported;
    case gestalt_Graphics:
        return lib.graphics_supported;
    case gestalt_DrawImage:
        return lib.graphics_supported && (val == wintype_TextBuffer || val == wintype_Graphics);
    case gestalt_Hyperlinks:
        return lib.hyperlinks_supported;
    case gestalt_HyperlinkInput:
        return lib.hyperlinks_supported && (val == wintype_TextBuffer || val == wintype_TextGrid);
    case gestalt_Unicode:
    case gestalt_UnicodeNorm:
    case gestalt_LineInputEcho:
    case gestalt_LineTerminators:
    case gestalt_DateTime:
    case gestalt_ResourceStream:
        return 1;
    case gestalt_LineTerminatorKey:
        return line_terminator(val);
    case gestalt_Sound:
    case gestalt_Sound2:
    case gestalt_SoundVolume:
    case gestalt_SoundNotify:
    case gestalt_SoundMusic:
        // Tallowick plays every sound Glk has (AIFF, Ogg Vorbis and MOD),
        // at any volume, with fades, and tells when each ends.
        return lib.sound_supported;
    default:
        // Mouse input, transparency, graphics-window keys: none of them; and
        // nothing this library has not heard of.
        return 0;
    }
}

void glk_exit(void) {
    library::get().finish();
}

void glk_set_interrupt_handler(void (*func)(void)) {
    library::get().interrupt_handler = func;
}

void glk_tick(void) {}

unsigned char glk_char_to_lower(unsigned char ch) {
    if ((ch >= 'A' && ch <= 'Z') || (ch >= 0xC0 && ch <= 0xDE && ch != 0xD7))
        return ch + 0x20;
    return ch;
}

unsigned char glk_char_to_upper(unsigned char ch) {
    if ((ch >= 'a' && ch <= 'z') || (ch >= 0xE0 && ch <= 0xFE && ch != 0xF7))
        return ch - 0x20;
    return ch;
}

// Style hints are for how text looks; the display decides that.
void glk_stylehint_set(glui32, glui32, glui32, glsi32) {}
void glk_stylehint_clear(glui32, glui32, glui32) {}

// Every style reaches the display under its own name, so any two differ
// for it to show or not.
glui32 glk_style_distinguish(winid_t win, glui32 styl1, glui32 styl2) {
    if (!win || (win->type != wintype_TextBuffer && win->type != wintype_TextGrid))
        return 0;
    return style_of(styl1) != style_of(styl2);
}

// Fonts are the display's; only what the protocol fixes is known: grids
// and preformatted text are fixed-width.
glui32 glk_style_measure(winid_t win, glui32 styl, glui32 hint, glui32* result) {
    if (!win || hint != stylehint_Proportional)
        return 0;
    if (win->type == wintype_TextGrid ||
        (win->type == wintype_TextBuffer && styl == style_Preformatted)) {
        if (result)
            *result = 0;
        return 1;
    }
    return 0;
}

