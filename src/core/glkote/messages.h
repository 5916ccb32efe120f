#pragma once
// The messages of GlkOte's protocol, as both ends write and read them: the
// display's events (Tallowick writes them, our Glk library reads them) and
// the library's updates, errors and file failures (the library writes
// them, Tallowick reads them). Each is a struct, written as one JSON line
// with write() and made from one JSON object with read_event() or
// read_output(). Reading takes what a message holds and passes over what it
// does not understand: a member of the wrong kind counts as missing.
#include "core/glkote/names.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace tw::glkote {

// The display's measures. Written in full; read with GlkOte's shorthands
// (charwidth, spacing, margin...) standing for their pairs.
struct metrics {
    double width = 80, height = 24;
    double outspacingx = 0, outspacingy = 0, inspacingx = 0, inspacingy = 0;
    double gridcharwidth = 1, gridcharheight = 1, gridmarginx = 0, gridmarginy = 0;
    double buffercharwidth = 1, buffercharheight = 1, buffermarginx = 0, buffermarginy = 0;
    double graphicsmarginx = 0, graphicsmarginy = 0;
    bool operator==(const metrics&) const = default;
};

// ---- Events: from the display to the library ----

enum class event_type {
    init,      // the first: `metrics`, `support`
    line,      // `value` typed in `window`, ended by `terminator` (none: Enter)
    key,       // "char": `value` is a key's name or the character typed
    timer,     // a tick of the timer the update asked for
    arrange,   // new `metrics`
    redraw,    // graphics to be drawn again (`window`, or all: 0)
    hyperlink, // the link `link` chosen in `window`
    file_name, // "specialresponse" to a fileref_prompt: `file_name`, none if declined
    sound,     // a sound the game asked to hear the end of has ended: `channel`, `sound`, `notify`
    volume,    // a change of volume the game asked to hear the end of: `channel`, `notify`
    other,     // anything else, which the library passes over
};

struct event {
    event_type type = event_type::other;
    std::optional<std::int64_t> gen; // the update it answers
    std::uint32_t window = 0;
    std::string value;
    std::optional<special_key> terminator;
    std::optional<std::string> file_name;
    std::uint32_t channel = 0, sound = 0, notify = 0; // sound, volume
    std::uint32_t link = 0; // a hyperlink's value; 0 is none
    // The player's unfinished lines, by window, sent with any event.
    std::vector<std::pair<std::uint32_t, std::string>> partial;
    std::optional<metrics> measures;  // init, arrange
    std::vector<std::string> support; // init: "timer", "graphics", "sounds", "hyperlinks"
    bool operator==(const event&) const = default;
};

// ---- Output: from the library to the display ----

struct image {
    std::uint32_t number = 0;
    std::optional<std::int32_t> x, y; // in a graphics window
    std::uint32_t width = 0, height = 0;
    std::optional<image_alignment> alignment; // in a buffer window
    std::string alttext;                      // its description; "" for none
    bool operator==(const image&) const = default;
};

// A run of text in one style, or a picture; either may be (part of) a
// link.
struct run {
    glkote::style style = glkote::style::normal;
    std::string text;
    std::optional<image> picture;
    std::uint32_t hyperlink = 0; // the link's value; 0 is none
    bool operator==(const run&) const = default;
};

struct paragraph {
    bool append = false; // goes on the last line shown
    bool flowbreak = false;
    std::vector<run> runs;
    bool operator==(const paragraph&) const = default;
};

struct grid_line {
    std::uint32_t line = 0;
    std::vector<run> runs;
    bool operator==(const grid_line&) const = default;
};

// A graphics window's drawing: a colour set, a fill (of all, or of the
// area given), a picture.
struct draw {
    enum kind_t { set_color, fill, picture };
    kind_t kind = fill;
    std::optional<std::string> color; // "#RRGGBB"
    struct area {
        std::int32_t x = 0, y = 0;
        std::uint32_t width = 0, height = 0;
        bool operator==(const area&) const = default;
    };
    std::optional<area> where; // a fill's
    image drawn;               // a picture's
    bool operator==(const draw&) const = default;
};

// What one window shows anew: a buffer's paragraphs, a grid's changed
// lines, a graphics window's drawing. Read, `type` is told by which of them
// the message holds.
struct window_content {
    std::uint32_t id = 0;
    window_type type = window_type::buffer;
    bool clear = false;
    std::vector<paragraph> text;
    std::vector<grid_line> lines;
    std::vector<draw> draws;
    bool operator==(const window_content&) const = default;
};

struct window_place {
    std::uint32_t id = 0;
    window_type type = window_type::buffer;
    std::uint32_t rock = 0;
    double left = 0, top = 0, width = 0, height = 0;
    // A grid's size in characters, a graphics window's in pixels.
    std::uint32_t columns = 0, rows = 0;
    bool operator==(const window_place&) const = default;
};

struct input_entry {
    std::uint32_t window = 0;
    std::int64_t gen = 0; // the update that first asked
    // A line, one key ("char"), or neither: a link alone.
    enum kind_t { line, key, none };
    kind_t type = line;
    bool hyperlink = false; // a link may be chosen in the window
    // A line's:
    std::uint32_t maxlen = 0;
    std::string initial;
    std::vector<special_key> terminators;
    // In a grid, where the input is.
    std::optional<std::uint32_t> xpos, ypos;
    bool operator==(const input_entry&) const = default;
};

// A file name asked for ("specialinput" of type "fileref_prompt"). Read,
// a mode or type of a name not known is none.
struct file_prompt {
    std::optional<file_mode> mode;
    std::optional<file_type> type;
    bool operator==(const file_prompt&) const = default;
};

// What the game did to a sound channel since the last update, one
// operation of its "ops".
struct sound_op {
    enum kind_t { play, stop, pause, unpause, change_volume };
    kind_t kind = play;
    std::uint32_t sound = 0;    // play: the Blorb's sound resource
    std::int64_t repeats = 1;   // play: how many times; -1 for ever
    std::uint32_t notify = 0;   // play, volume: the game's value told at the end; 0 for none
    double volume = 1;          // volume: 1 for Glk's 0x10000
    std::uint32_t duration = 0; // volume: milliseconds the change takes
    std::string alttext;        // play: the sound's description from the Blorb; "" for none
    bool operator==(const sound_op&) const = default;
};

struct sound_channel {
    std::uint32_t id = 0;
    std::vector<sound_op> ops;
    bool operator==(const sound_channel&) const = default;
};

struct update {
    std::int64_t gen = 0;
    std::optional<std::vector<window_place>> windows; // when they changed: all of them
    std::vector<window_content> content;
    std::vector<input_entry> input; // every input awaited, each update
    // When it changed: every so many milliseconds, 0 for no more.
    std::optional<std::uint32_t> timer;
    std::optional<file_prompt> special_input;
    // When a channel was made, used or destroyed: all of them (one left out
    // is gone), each with what the game did to it since.
    std::optional<std::vector<sound_channel>> schannels;
    bool operator==(const update&) const = default;
};

// The library cannot go on; `message` is a sentence for the player.
struct error {
    std::string message;
    bool operator==(const error&) const = default;
};

// A file the game wrote could not be written whole; the file it would have
// replaced is as it was. Glk cannot tell the game, so the library tells the
// display ("type": "filefailure", our own addition).
struct file_failure {
    file_type type = file_type::data;
    std::string name; // the file's name, without its folder
    failure_reason reason = failure_reason::other;
    std::string detail; // the system's words
    bool operator==(const file_failure&) const = default;
};

// Output of a type the display does not know, passed over.
struct other_output {
    bool operator==(const other_output&) const = default;
};
using output = std::variant<update, error, file_failure, other_output>;

// One line, ended by "\n". Text that is not UTF-8 is written as U+FFFD.
std::string write(const event& e);
std::string write(const update& u);
std::string write(const error& e);
std::string write(const file_failure& f);

// None when `json` is not one JSON object.
std::optional<event> read_event(std::string_view json);
std::optional<output> read_output(std::string_view json);

} // namespace tw::glkote
