#pragma once
// One row of the screen as our dfrotz prints it with line numbers, line
// types and marked reverse video: "NN" + type + " " + cells, where "_\b"
// comes before a reverse character and dfrotz::reverse_blank stands for a
// reverse blank.
#include <string>
#include <string_view>

namespace tw {

// Inline: asked of every byte the reader reads.
inline bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
// Types of the rows above the lower window (the status line, the upper
// window): '=', or '#' when the cursor is in it.
inline bool is_upper_row(char t) {
    return t == '=' || t == '#';
}
// A row last written while above the lower window, which the upper window
// left standing as it shrank beneath it.
inline bool is_left_by_upper(char t) {
    return t == '-';
}
// Types of the rows that show the input the interpreter waits for.
inline bool is_line_input(char t) {
    return t == '>' || t == 'T' || t == '}' || t == 'D';
}
inline bool is_key_input(char t) {
    return t == ')' || t == 't';
}
// "NN" + type + " ", or "..." + " " for the gap between two spans of rows.
inline bool is_prefix(std::string_view h) {
    if (h.size() != 4 || h[3] != ' ')
        return false;
    if (h[0] == '.' && h[1] == '.' && h[2] == '.')
        return true;
    char t = h[2];
    return is_digit(h[0]) && is_digit(h[1]) &&
           (t == ' ' || t == ']' || is_upper_row(t) || is_left_by_upper(t) || is_line_input(t) ||
            is_key_input(t));
}

// A row's cells: its text with reverse video resolved, and the text of the
// reverse runs that begin with two reverse blanks, as the lines and borders
// of a quote box do.
struct row_cells {
    std::string text;
    std::string boxed;
    size_t count = 0;
    bool any_reverse = false;
    bool all_reverse = true; // every cell but trailing blanks, as a status bar
    bool box_like = false;
};
row_cells read_cells(std::string_view row);

// Runs of spaces become one space; the ends are trimmed.
std::string collapse_spaces(std::string_view s);
// The characters of the first word of `s`.
size_t first_word_cells(std::string_view s);

} // namespace tw
