#pragma once
// What an interpreter's output is made into, whichever interpreter prints
// it: the same events come from dfrotz's screen rows and from the Glk
// protocol's updates, so that what follows them (cutting, speech, the view,
// the histories, the transcript, the keys) is one road for both.
#include "core/glkote/messages.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tw {

// Before a game has waited for a command, a window at the top no taller
// than this, drawn as status lines are, is taken for its status window.
constexpr size_t likely_status_rows = 3;

// The input an interpreter waits for, with what it needs to be answered.
struct input_request {
    // `nothing`: the game waits for no input, only for its own clock;
    // `link`: for a link to be chosen, and nothing else.
    enum kind_t { line, key, nothing, link };
    input_request(kind_t kind = line, int window = 0, long generation = 0)
        : kind(kind), window(window), generation(generation) {}

    kind_t kind;
    // For the Glk protocol: the window that waits, and the update that asked.
    int window;
    long generation;
};

// A key the player pressed to answer a wait for one key.
struct key_press {
    enum special_t {
        none, // a character: `text`
        enter,
        escape,
        backspace,
        tab,
        left,
        right,
        up,
        down,
        home,
        end,
        page_up,
        page_down,
        function, // F`number`, 1 to 12
    };
    key_press(special_t special = none, std::string text = {}, int number = 0)
        : special(special), text(std::move(text)), number(number) {}

    special_t special;
    std::string text; // UTF-8, one character
    int number;
};

// A file the interpreter asks to be named.
struct file_request {
    enum mode_t { write, read, unknown_mode };
    enum usage_t { saved_game, transcript, commands, data, unknown_usage };
    file_request(mode_t mode = unknown_mode, usage_t usage = unknown_usage, long generation = 0)
        : mode(mode), usage(usage), generation(generation) {}

    mode_t mode;
    usage_t usage;
    long generation; // for the Glk protocol
};

// A link the game shows (a Glk hyperlink), which the player may choose.
struct game_link {
    std::string text; // as shown
    int window = 0;
    std::uint32_t value = 0; // what the game is told when it is chosen
    bool operator==(const game_link&) const = default;
};

struct screen_event {
    enum kind_t {
        story_text,  // text to be cut into sentences and said
        drawn_line,  // one line of a drawing (a menu, a box), said as it is
        status_line, // the status line now reads `text`; kept, never said unasked
        input_wait,  // the interpreter waits for `input`
        file_prompt, // the interpreter asks for the name of `file`; `text` is its question
        question,    // the interpreter's own yes-or-no question, `text`
        timer,       // the game asks for a timer event every `number` ms (0: none)
        sounds,       // the game's sound `channels`, as its update numbered `number` left them
        link_choices, // the links that may now be chosen are `links`, in reading order
        failure,     // the interpreter cannot go on; `text` says why
        // A file the game wrote (a save) could not be written, and the one
        // it would have replaced is kept; `text` tells the player.
        write_failure,
    };
    screen_event(kind_t kind = story_text, std::string text = {})
        : kind(kind), text(std::move(text)) {}

    kind_t kind;
    std::string text;
    input_request input;
    file_request file;
    long number = 0;
    std::vector<glkote::sound_channel> channels;
    std::vector<game_link> links;
};

// Turns what one kind of interpreter prints into screen events.
class output_decoder {
  public:
    virtual ~output_decoder() = default;
    // Appends the events of `text` (valid UTF-8, whole characters).
    virtual void feed(std::string_view text, std::vector<screen_event>& out) = 0;
    // The interpreter has been quiet a while: what waits to see what comes
    // next goes out.
    virtual void quiet(std::vector<screen_event>& out) = 0;
    // Something is held that only more text or quiet() lets go.
    virtual bool holding() const = 0;
    // The output has ended: everything goes.
    virtual void finish(std::vector<screen_event>& out) { quiet(out); }
};

} // namespace tw
