#pragma once
// What dfrotz prints of its screen, turned into what the player hears.
//
// dfrotz keeps a picture of the screen and, before each input, prints the
// rows that changed. It runs with line numbers and line types on, and with
// reverse video marked, so every row it prints reads "NN" + type + " " +
// the row's cells, where a reverse character comes as "_\b" + character and
// a reverse blank as \x01. From that this class tells:
// - the status line (row 1 in reverse, when the screen update ends in a
//   line input), which is kept for asking rather than spoken;
// - a quote box drawn over older text (a reverse run padded with reverse
//   blanks), of which only the box is said;
// - where the interpreter only wrapped a long line, which is no line end;
// - the input it waits for: a line, or a single key;
// - its own start-up chatter, which is dropped.
// Text that does not look like a row (another interpreter, or dfrotz's own
// questions) passes through unchanged. Linear in its input.
#include <string>
#include <string_view>
#include <vector>

namespace tw {

struct screen_event {
    enum kind_t { story_text, status_line, line_input, key_input };
    kind_t kind = story_text;
    std::string text; // text to cut and say, or the status line
};

class interpreter_screen {
  public:
    // `width`: the screen width the interpreter was given, in characters.
    explicit interpreter_screen(int width) : width(width) {}

    // Appends the events of `text` (valid UTF-8, whole characters).
    void feed(std::string_view text, std::vector<screen_event>& out);
    // The interpreter has gone quiet: what waits to see what comes next (a
    // row end that may be a wrap, a prompt, a held update) goes out.
    void quiet(std::vector<screen_event>& out);
    // Something is held that only more text or quiet() lets go.
    bool holding() const;

  private:
    enum class state { line_start, row, prompt, plain };
    struct row_break {
        bool pending = false;
        bool joinable = false; // an ordinary row, which a wrap may continue
        int number = 0;
        size_t cells = 0;
    };

    void start_line(std::string_view head, std::vector<screen_event>& out);
    void end_row(std::vector<screen_event>& out);
    void end_prompt(std::vector<screen_event>& out);
    void end_plain(std::vector<screen_event>& out);
    bool is_chatter(std::string_view text) const;
    void emit(std::string_view text, std::vector<screen_event>& out);
    void emit_row(int row, std::string_view text, size_t cells, std::vector<screen_event>& out);
    void emit_break(std::vector<screen_event>& out);
    void flush_after_box(std::vector<screen_event>& out);
    // Lets go of rows held after a box line, then of a pending row end.
    void settle(std::vector<screen_event>& out);
    void release_update(bool status, std::vector<screen_event>& out);

    const int width;
    state at = state::line_start;
    std::string line; // the row, prompt or plain line being read
    char type = ' ';  // the row's type mark
    int number = 0;   // the row's number
    bool seen_row = false; // chatter comes only before the first row
    int cursor_row = -1;   // the row with the cursor in this update
    row_break last;
    // Rows right after a box line are held: a box's blank lines come out as
    // whatever the screen held there before, and another box line below
    // them gives them away.
    struct held_row {
        std::string text;
        size_t cells;
    };
    std::vector<held_row> after_box;
    int box_row = -1;
    // A reverse top row, and what followed it, wait for the update's end.
    bool holding_update = false;
    std::string top_row;
    std::string held;
};

} // namespace tw
