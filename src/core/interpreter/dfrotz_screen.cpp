#include "core/interpreter/dfrotz_screen.h"

#include "core/interpreter/dfrotz_rows.h"

#include <utility>

namespace tw {
namespace {

// Text held behind the rows above the lower window longer than a screen
// belongs to no update that is still being printed.
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

constexpr std::string_view file_name_question = "Please enter a filename [";
constexpr std::string_view overwrite_question = "Overwrite existing file? ";
// How far back from its end a line may hold the file name question: the
// question and the default name in its brackets, which is short (a save's
// name as dfrotz keeps it).
constexpr size_t file_name_question_reach = 300;

// What dfrotz's default file name ("story.qzl") says the file is for.
file_request::usage_t usage_of(std::string_view question) {
    auto name = question.substr(file_name_question.size());
    name = name.substr(0, name.rfind(']'));
    auto dot = name.rfind('.');
    auto extension = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
    if (extension == "qzl")
        return file_request::saved_game;
    if (extension == "scr")
        return file_request::transcript;
    if (extension == "rec")
        return file_request::commands;
    if (extension == "aux")
        return file_request::data;
    return file_request::unknown_usage;
}

// A row that continues a wrapped line but starts with a mark that closes
// what came before ("?", "...", a closing quote) was cut from its word, not
// from the word before it.
bool continues_a_word(std::string_view row) {
    if (row.empty())
        return false;
    switch (row.front()) {
    case '.':
    case ',':
    case ';':
    case ':':
    case '!':
    case '?':
    case ')':
    case ']':
    case '}':
        return true;
    default:
        // Closing quotes and an ellipsis, in UTF-8.
        return row.starts_with("\u2019") || row.starts_with("\u201D") ||
               row.starts_with("\u00BB") || row.starts_with("\u2026");
    }
}

} // namespace

bool dfrotz_screen::holding() const {
    return last.pending || !upper.empty() || !after_box.empty() || at == state::prompt ||
           (at != state::row && !line.empty());
}

void dfrotz_screen::emit(std::string_view text, std::vector<screen_event>& out) {
    if (text.empty())
        return;
    if (!upper.empty()) {
        held += text;
        if (held.size() > held_limit)
            end_update(update_end::other, out);
        return;
    }
    if (!out.empty() && out.back().kind == screen_event::story_text)
        out.back().text += text;
    else
        out.push_back({screen_event::story_text, std::string(text)});
}

void dfrotz_screen::emit_break(std::vector<screen_event>& out) {
    if (!last.pending)
        return;
    last.pending = false;
    emit("\n", out);
}

void dfrotz_screen::end_update(update_end how, std::vector<screen_event>& out) {
    if (upper.empty())
        return;
    auto rows = std::move(upper);
    upper.clear();
    std::string text = std::move(held);
    held.clear();

    bool blank = true, all_reverse = true;
    for (const auto& r : rows) {
        blank = blank && r.text.empty();
        all_reverse = all_reverse && r.all_reverse;
    }
    if (!blank) {
        // The status window is what stands above the story while the game
        // waits for a command. Before the game has waited for one, a
        // window drawn all in reverse, as status bars are, is taken for it.
        bool status = how == update_end::line_input ||
                      (status_rows > 0 ? rows.size() <= status_rows : all_reverse);
        if (status) {
            if (how == update_end::line_input)
                status_rows = rows.size();
            std::string joined;
            for (const auto& r : rows)
                if (!r.text.empty())
                    joined += (joined.empty() ? "" : " ") + r.text;
            out.push_back({screen_event::status_line, std::move(joined)});
            drawn.clear();
        } else {
            // A menu or a picture: its lines as they stand, each once, and
            // again only when it changes.
            for (size_t i = 0; i < rows.size(); ++i) {
                if (rows[i].text.empty()) {
                    drawn.erase(i + 1);
                } else if (auto& said = drawn[i + 1]; said != rows[i].text) {
                    said = rows[i].text;
                    out.push_back({screen_event::drawn_line, rows[i].text});
                }
            }
            drawn.erase(drawn.upper_bound(rows.size()), drawn.end());
        }
    }
    emit(text, out);
}

void dfrotz_screen::feed(std::string_view text, std::vector<screen_event>& out) {
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
            if (c == ' ' && own_question(out))
                break;
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

bool dfrotz_screen::own_question(std::vector<screen_event>& out) {
    // dfrotz asks these itself and then waits, with no line end; with
    // commands typed ahead they follow a prompt at once.
    size_t at_question = std::string::npos;
    bool file_name = false;
    if (line.ends_with("]: ")) {
        size_t from =
            line.size() > file_name_question_reach ? line.size() - file_name_question_reach : 0;
        at_question = line.find(file_name_question, from);
        file_name = at_question != std::string::npos;
    }
    if (!file_name) {
        if (!line.ends_with(overwrite_question))
            return false;
        at_question = line.size() - overwrite_question.size();
    }
    if (at_question > 0 && at != state::prompt)
        return false;
    std::string question = line.substr(at_question);
    if (at == state::prompt) {
        line.resize(at_question);
        end_prompt(out);
    }
    line = std::move(question);
    end_update(update_end::other, out);
    settle(out);
    screen_event e{file_name ? screen_event::file_prompt : screen_event::question, line};
    if (file_name)
        e.file.usage = usage_of(line);
    out.push_back(std::move(e));
    line.clear();
    at = state::line_start;
    return true;
}

void dfrotz_screen::start_line(std::string_view head, std::vector<screen_event>& out) {
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

void dfrotz_screen::end_row(std::vector<screen_event>& out) {
    at = state::line_start;
    std::string row = std::move(line);
    line.clear();
    if (type == '.')
        return;
    row_cells c = read_cells(row);
    if (type == ']' || type == '#')
        cursor_row = number;
    // The Inform library forgets, after a menu, that the menu took the
    // upper window away, and draws its status bar where the lower window
    // now begins: a row in reverse within the status window's rows is
    // still the status window's.
    bool status_bar = number >= 1 && static_cast<size_t>(number) <= status_rows &&
                      c.all_reverse && c.any_reverse && upper.size() + 1 == static_cast<size_t>(number);
    // A status line the upper window left standing as it shrank to nothing
    // is still the status line, for as long as it stands.
    bool left_status = is_left_by_upper(type) && number >= 1 &&
                       static_cast<size_t>(number) <=
                           (status_rows > 0 ? status_rows
                                            : (c.all_reverse && c.any_reverse ? likely_status_rows : 0));
    if (is_upper_row(type) || status_bar || left_status) {
        // What went before belongs to an earlier update.
        if (upper.empty())
            settle(out);
        upper.push_back({collapse_spaces(c.text), c.all_reverse});
        return;
    }
    const int next_after_box = box_row + static_cast<int>(after_box.size()) + 1;
    if (c.box_like) {
        // A line of a box drawn over what the screen held before.
        if (number == next_after_box)
            after_box.clear();
        settle(out);
        if (!c.boxed.empty())
            emit(collapse_spaces(c.boxed) + "\n", out);
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

void dfrotz_screen::emit_row(int row, std::string_view text, size_t cells,
                             std::vector<screen_event>& out) {
    if (last.pending) {
        bool wrapped = last.joinable && row == last.number % 100 + 1 && !text.empty() &&
                       last.cells + 1 + first_word_cells(text) > static_cast<size_t>(width);
        last.pending = false;
        emit(wrapped ? (continues_a_word(text) ? "" : " ") : "\n", out);
    }
    emit(text, out);
    last = {true, true, row, cells};
}

void dfrotz_screen::flush_after_box(std::vector<screen_event>& out) {
    int row = box_row;
    box_row = -1;
    for (auto& held_row : after_box)
        emit_row(++row, held_row.text, held_row.cells, out);
    after_box.clear();
}

void dfrotz_screen::settle(std::vector<screen_event>& out) {
    flush_after_box(out);
    emit_break(out);
}

void dfrotz_screen::end_prompt(std::vector<screen_event>& out) {
    std::string content = read_cells(line).text;
    line.clear();
    bool key = is_key_input(type);
    end_update(key ? update_end::key_input : update_end::line_input, out);
    // With the cursor inside a row shown whole, the prompt repeats its start.
    if (number != cursor_row)
        emit(content, out);
    cursor_row = -1;
    screen_event e{screen_event::input_wait};
    e.input.kind = key ? input_request::key : input_request::line;
    out.push_back(std::move(e));
    at = state::plain;
}

bool dfrotz_screen::is_chatter(std::string_view text) const {
    return !seen_row && is_setting(text);
}

void dfrotz_screen::end_plain(std::vector<screen_event>& out) {
    at = state::line_start;
    std::string text = std::move(line);
    line.clear();
    if (is_chatter(text))
        return;
    end_update(update_end::other, out);
    emit(text, out);
}

void dfrotz_screen::quiet(std::vector<screen_event>& out) {
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
                end_update(update_end::other, out);
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
    end_update(update_end::other, out);
}

} // namespace tw
