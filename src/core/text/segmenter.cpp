#include "core/text/segmenter.h"

#include "core/text/utf8.h"

namespace tw {
namespace {

constexpr size_t held_piece = 64 * 1024;

bool is_special(char c) {
    return c == '\n' || c == '>' || c == '.' || c == ']' || c == '[';
}

// Marks that close what a sentence opened: quotes and brackets, ASCII and
// typographic.
bool is_closer(char32_t c) {
    switch (c) {
    case '"':
    case '\'':
    case ')':
    case ']':
    case '}':
    case U'\u2019':
    case U'\u201D':
    case U'\u00BB':
    case U'\u203A':
        return true;
    default:
        return false;
    }
}

// What a "." runs straight on into without ending a sentence: a letter or
// digit (v6.41, me.com), another "." (an ellipsis), or a mark that ends or
// goes on with the same sentence ("demo game...?").
bool runs_on(char32_t c) {
    if (c < 0x80)
        return c == '.' || c == '?' || c == '!' || c == ',' || c == ';' || c == ':' ||
               (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    // Letters of other scripts, but not the punctuation, spaces and
    // inverted marks that also lie above ASCII.
    return c >= 0xC0 && !(c >= 0x2000 && c <= 0x206F) && c != 0xD7 && c != 0xF7;
}

} // namespace

void segmenter::cut(std::vector<std::string>& out) {
    if (held.empty()) {
        out.push_back(std::move(buffer));
    } else {
        std::string whole;
        whole.reserve(held_bytes + buffer.size());
        for (const auto& piece : held)
            whole += piece;
        whole += buffer;
        out.push_back(std::move(whole));
        held.clear();
        held_bytes = 0;
    }
    buffer.clear();
    bracket_open = false;
    after_stop = false;
}

void segmenter::feed(std::string_view text, std::vector<std::string>& out) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        if (after_stop) {
            char32_t cp = 0xFFFD;
            size_t len = next_code_point(text, i, cp);
            if (len == 0)
                len = 1;
            if (runs_on(cp) || is_closer(cp)) {
                buffer.append(text, i, len);
                i += len;
                // Closing marks keep the sentence's end open; a letter or
                // digit goes on with it; "]" ends it at once.
                after_stop = cp == '.' || (is_closer(cp) && cp != ']');
                if (cp == ']')
                    cut(out);
                continue;
            }
            cut(out);
        }
        size_t j = i;
        while (j < n && !is_special(text[j]))
            ++j;
        buffer.append(text, i, j - i);
        if (j == n)
            break;
        char c = text[j];
        i = j + 1;
        if (bracket_open && c == '>' && !buffer.empty() && buffer.back() == '\n') {
            // A "[" that never closes would hold everything back for good; a
            // prompt shows that the game is waiting, so let the held text go.
            cut(out);
            buffer.push_back(c);
            cut(out);
            continue;
        }
        buffer.push_back(c);
        if (c == '[') {
            bracket_open = true;
        } else if (c == ']') {
            // Ends the note, unless a word runs on from it: a menu's
            // "[N]ext item" is heard whole.
            bracket_open = false;
            after_stop = true;
        } else if (bracket_open) {
            if (buffer.size() >= held_piece) {
                held_bytes += buffer.size();
                held.push_back(std::move(buffer));
                buffer.clear();
            }
        } else if (c == '.' || c == '>') {
            // A ">" that a word runs straight on from is a menu's marker
            // of its current item (">A hint"), not a prompt: it stays with
            // its line.
            after_stop = true;
        } else {
            cut(out);
        }
    }
}

void segmenter::finish(std::vector<std::string>& out) {
    if (!buffer.empty() || !held.empty())
        cut(out);
}

bool segmenter::release(std::vector<std::string>& out) {
    if (!releasable())
        return false;
    cut(out);
    return true;
}

void segmenter::prompt(std::vector<std::string>& out) {
    finish(out);
}

std::string turn_text(std::string_view raw) {
    std::string s;
    s.reserve(raw.size() + 2);
    s += ' ';
    s += raw;
    s += '\n';
    return s;
}

std::string clean_segment(std::string_view raw) {
    if (raw == ">")
        return {};
    std::string seg(raw);
    seg += '\n';
    // CR LF becomes LF; then each pair of line ends becomes one, in one pass
    // that does not look again at what it produced (three line ends become
    // two); then spaces go from both ends.
    std::string step;
    step.reserve(seg.size());
    for (size_t i = 0; i < seg.size(); ++i)
        if (!(seg[i] == '\r' && i + 1 < seg.size() && seg[i + 1] == '\n'))
            step += seg[i];
    std::string joined;
    joined.reserve(step.size());
    for (size_t i = 0; i < step.size(); ++i) {
        joined += step[i];
        if (step[i] == '\n' && i + 1 < step.size() && step[i + 1] == '\n')
            ++i;
    }
    size_t b = joined.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    size_t e = joined.find_last_not_of(' ');
    joined = joined.substr(b, e - b + 1);
    return joined == "\n" ? std::string() : joined;
}

} // namespace tw
