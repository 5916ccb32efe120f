#include "core/interpreter/interpreter_screen.h"

#include "core/interpreter/screen_row.h"

#include <utility>

namespace tw {
namespace {

// A held update longer than a screen is no status line's update.
constexpr size_t held_limit = 64 * 1024;

// What dfrotz says about the settings it was started with.
bool is_setting(std::string_view line) {
    for (std::string_view start :
         {"Line numbering ", "Line-type display ", "Reverse-video mode ", "Compression mode ",
          "Picture outlines display ", "Visual bell ", "Speed Factor ", "More prompts "})
        if (line.starts_with(start))
            return true;
    return false;
}

} // namespace

bool interpreter_screen::holding() const {
    return last.pending || holding_update || !after_box.empty() || at == state::prompt ||
           (at != state::row && !line.empty());
}

void interpreter_screen::emit(std::string_view text, std::vector<screen_event>& out) {
    if (text.empty())
        return;
    if (holding_update) {
        held += text;
        if (held.size() > held_limit)
            release_update(true, out);
        return;
    }
    if (!out.empty() && out.back().kind == screen_event::story_text)
        out.back().text += text;
    else
        out.push_back({screen_event::story_text, std::string(text)});
}

void interpreter_screen::emit_break(std::vector<screen_event>& out) {
    if (!last.pending)
        return;
    last.pending = false;
    emit("\n", out);
}

void interpreter_screen::release_update(bool status, std::vector<screen_event>& out) {
    holding_update = false;
    if (status)
        out.push_back({screen_event::status_line, collapse_spaces(top_row)});
    else
        emit(collapse_spaces(top_row) + "\n", out);
    top_row.clear();
    std::string text = std::move(held);
    held.clear();
    emit(text, out);
}

void interpreter_screen::feed(std::string_view text, std::vector<screen_event>& out) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        switch (at) {
        case state::line_start: {
            // Up to four characters tell a row from plain text.
            while (i < n && line.size() < 4 && text[i] != '\n' &&
                   (!line.empty() || is_digit(text[i]) || text[i] == '.'))
                line += text[i++];
            if (line.size() == 4 && is_prefix(line)) {
                std::string head = std::move(line);
                line.clear();
                start_line(head, out);
            } else if (i < n) {
                at = state::plain;
                if (seen_row)
                    settle(out);
            } else {
                return;
            }
            break;
        }
        case state::row: {
            size_t j = text.find('\n', i);
            if (j == std::string_view::npos) {
                line.append(text, i);
                return;
            }
            line.append(text, i, j - i);
            i = j + 1;
            end_row(out);
            break;
        }
        case state::prompt:
        case state::plain: {
            if (!seen_row) {
                // Another interpreter's text: straight through, a line at a
                // time (whole, so that dfrotz's start-up lines can be told).
                size_t j = text.find('\n', i);
                size_t stop = j == std::string_view::npos ? n : j + 1;
                line.append(text, i, stop - i);
                i = stop;
                if (j != std::string_view::npos)
                    end_plain(out);
                break;
            }
            // dfrotz's own text (a prompt, a question of its own) ends
            // without a line end when rows follow it; watch for their prefix.
            char c = text[i++];
            if (c == '\n') {
                if (at == state::prompt)
                    end_prompt(out);
                line += '\n';
                end_plain(out);
                break;
            }
            line += c;
            if (line.size() >= 4 && is_digit(line[line.size() - 4]) &&
                is_prefix(std::string_view(line).substr(line.size() - 4))) {
                std::string head = line.substr(line.size() - 4);
                line.resize(line.size() - 4);
                if (at == state::prompt) {
                    end_prompt(out);
                } else {
                    // A row starts a line of its own.
                    if (!line.empty())
                        line += '\n';
                    end_plain(out);
                }
                start_line(head, out);
            }
            break;
        }
        }
    }
}

void interpreter_screen::start_line(std::string_view head, std::vector<screen_event>& out) {
    line.clear();
    type = head[2];
    number = head[0] == '.' ? -1 : (head[0] - '0') * 10 + (head[1] - '0');
    if (type == '.') {
        // A gap between spans of changed rows: no text, but no wrap either.
        settle(out);
        at = state::row;
        return;
    }
    seen_row = true;
    if (is_line_input(type) || is_key_input(type)) {
        settle(out);
        at = state::prompt;
        return;
    }
    at = state::row;
}

void interpreter_screen::end_row(std::vector<screen_event>& out) {
    at = state::line_start;
    std::string row = std::move(line);
    line.clear();
    if (type == '.')
        return;
    row_cells c = read_cells(row);
    if (type == ']')
        cursor_row = number;
    const int next_after_box = box_row + static_cast<int>(after_box.size()) + 1;
    if (number == 1 && c.any_reverse) {
        // The status line, or a menu's title: the update's end tells.
        settle(out);
        if (holding_update)
            release_update(true, out);
        holding_update = true;
        top_row = std::move(c.text);
        return;
    }
    if (c.box_like) {
        // A line of a box drawn over what the screen held before.
        if (number == next_after_box)
            after_box.clear();
        settle(out);
        if (!c.boxed.empty())
            emit(c.boxed + "\n", out);
        box_row = number;
        return;
    }
    if (box_row >= 0 && number == next_after_box && after_box.size() < 3) {
        after_box.push_back({std::move(c.text), c.count});
        return;
    }
    flush_after_box(out);
    emit_row(number, c.text, c.count, out);
}

void interpreter_screen::emit_row(int row, std::string_view text, size_t cells,
                                  std::vector<screen_event>& out) {
    if (last.pending) {
        bool wrapped = last.joinable && row == last.number % 100 + 1 && !text.empty() &&
                       last.cells + 1 + first_word_cells(text) > static_cast<size_t>(width);
        last.pending = false;
        emit(wrapped ? " " : "\n", out);
    }
    emit(text, out);
    last = {true, true, row, cells};
}

void interpreter_screen::flush_after_box(std::vector<screen_event>& out) {
    int row = box_row;
    box_row = -1;
    for (auto& held_row : after_box)
        emit_row(++row, held_row.text, held_row.cells, out);
    after_box.clear();
}

void interpreter_screen::settle(std::vector<screen_event>& out) {
    flush_after_box(out);
    emit_break(out);
}

void interpreter_screen::end_prompt(std::vector<screen_event>& out) {
    std::string content = read_cells(line).text;
    line.clear();
    bool key = is_key_input(type);
    if (holding_update)
        release_update(!key, out);
    // With the cursor inside a row shown whole, the prompt repeats its start.
    if (number != cursor_row)
        emit(content, out);
    cursor_row = -1;
    out.push_back({key ? screen_event::key_input : screen_event::line_input, {}});
    at = state::plain;
}

bool interpreter_screen::is_chatter(std::string_view text) const {
    // The file name that the interpreter asks for when the game saves or
    // restores is one our own dialog has given already.
    return (!seen_row && is_setting(text)) || text.starts_with("Please enter a filename [");
}

void interpreter_screen::end_plain(std::vector<screen_event>& out) {
    at = state::line_start;
    std::string text = std::move(line);
    line.clear();
    if (!is_chatter(text))
        emit(text, out);
}

void interpreter_screen::quiet(std::vector<screen_event>& out) {
    switch (at) {
    case state::line_start:
        if (!line.empty())
            at = state::plain;
        [[fallthrough]];
    case state::plain:
        if (!line.empty()) {
            std::string text = std::move(line);
            line.clear();
            if (!is_chatter(text)) {
                settle(out);
                emit(text, out);
            }
        }
        break;
    case state::prompt:
        end_prompt(out);
        break;
    case state::row:
        break;
    }
    settle(out);
    if (holding_update)
        release_update(true, out);
}

} // namespace tw
