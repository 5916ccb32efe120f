#pragma once
// What our dfrotz prints of its screen, turned into screen events.
//
// dfrotz keeps a picture of the screen and, before each input, prints the
// rows that changed, "NN" + type + " " + cells (dfrotz_rows.h). From that
// this class tells:
// - the rows above the lower window (printed whole whenever one changed):
//   the status window, kept for asking rather than spoken, or a drawing such
//   as a menu, whose changed lines are said; a status line still standing
//   after the upper window shrank beneath it stays the status line;
// - a quote box drawn over older text, of which only the box is said;
// - where the interpreter only wrapped a long line, which is no line end;
// - the input it waits for: a line, or a single key;
// - its own questions (a file's name, whether to overwrite one), and its
//   start-up chatter, which is dropped.
// Text that does not look like a row (another interpreter) passes through
// unchanged. Linear in its input.
#include "core/interpreter/screen_event.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

class dfrotz_screen final : public output_decoder {
  public:
    // `width`: the screen width the interpreter was given, in characters.
    explicit dfrotz_screen(int width) : width(width) {}

    void feed(std::string_view text, std::vector<screen_event>& out) override;
    void quiet(std::vector<screen_event>& out) override;
    bool holding() const override;

  private:
    enum class state { line_start, row, prompt, plain };
    struct row_break {
        bool pending = false;
        bool joinable = false; // an ordinary row, which a wrap may continue
        int number = 0;
        size_t cells = 0;
    };
    struct upper_row {
        std::string text; // spaces collapsed
        bool all_reverse = true;
    };
    // How an update of the rows ended: which tells the status window from
    // a drawing.
    enum class update_end { line_input, key_input, other };

    void start_line(std::string_view head, std::vector<screen_event>& out);
    void end_row(std::vector<screen_event>& out);
    void end_prompt(std::vector<screen_event>& out);
    void end_plain(std::vector<screen_event>& out);
    bool own_question(std::vector<screen_event>& out);
    bool is_chatter(std::string_view text) const;
    void emit(std::string_view text, std::vector<screen_event>& out);
    void emit_row(int row, std::string_view text, size_t cells, std::vector<screen_event>& out);
    void emit_break(std::vector<screen_event>& out);
    void flush_after_box(std::vector<screen_event>& out);
    // Lets go of rows held after a box line, then of a pending row end.
    void settle(std::vector<screen_event>& out);
    void end_update(update_end how, std::vector<screen_event>& out);

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
    // The rows above the lower window in this update, and what followed
    // them, wait for the update's end, which tells what they are.
    std::vector<upper_row> upper;
    std::string held;
    // The height of the status window when the game last waited for a
    // command; 0 before it has.
    size_t status_rows = 0;
    // The lines of the drawing last said, by row, to say only what changed.
    std::map<size_t, std::string> drawn;
};

} // namespace tw
