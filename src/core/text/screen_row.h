#pragma once
// One row of the screen as dfrotz prints it with line numbers, line types
// and marked reverse video: "NN" + type + " " + cells, where "_\b" comes
// before a reverse character and \x01 stands for a reverse blank.
#include <string>
#include <string_view>

namespace tw {

bool is_digit(char c);
// Types of the rows that show the input the interpreter waits for.
bool is_line_input(char type);
bool is_key_input(char type);
// "NN" + type + " ", or "..." + " " for the gap between two spans of rows.
bool is_prefix(std::string_view four);

// A row's cells: its text with reverse video resolved, and the text of the
// reverse runs that begin with two reverse blanks, as the lines and borders
// of a quote box do.
struct row_cells {
    std::string text;
    std::string boxed;
    size_t count = 0;
    bool any_reverse = false;
    bool box_like = false;
};
row_cells read_cells(std::string_view row);

// Runs of spaces become one space; the ends are trimmed.
std::string collapse_spaces(std::string_view s);
// The characters of the first word of `s`.
size_t first_word_cells(std::string_view s);

} // namespace tw
