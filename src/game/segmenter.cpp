#include "game/segmenter.h"

namespace tw {

void segmenter::cut(std::vector<std::string>& out) {
    out.push_back(std::move(buffer));
    buffer.clear();
    bracket_open = false;
}

void segmenter::feed(std::string_view text, std::vector<std::string>& out) {
    for (char c : text) {
        if (bracket_open && c == '>' && !buffer.empty() && buffer.back() == '\n') {
            // A "[" that never closes would hold everything back for good; the
            // prompt shows the game is waiting, so let the held text go.
            cut(out);
            buffer.push_back(c);
            cut(out);
            continue;
        }
        buffer.push_back(c);
        if (c == '[') {
            bracket_open = true;
        } else if (c == ']' || (!bracket_open && (c == '\n' || c == '>' || c == '.'))) {
            cut(out);
        }
    }
}

void segmenter::finish(std::vector<std::string>& out) {
    if (!buffer.empty())
        cut(out);
}

bool segmenter::release(std::vector<std::string>& out) {
    if (!releasable())
        return false;
    cut(out);
    return true;
}

std::string turn_text(std::string_view raw) {
    std::string s;
    s.reserve(raw.size() + 2);
    s += ' ';
    s += raw;
    s += '\n';
    return s;
}

bool is_prompt(std::string_view raw) {
    return raw == ">";
}

std::string clean_segment(std::string_view raw) {
    if (is_prompt(raw))
        return {};
    std::string seg(raw);
    seg += '\n';

    std::string step;
    step.reserve(seg.size());
    for (size_t i = 0; i < seg.size(); ++i) {
        if (seg[i] == '\r' && i + 1 < seg.size() && seg[i + 1] == '\n')
            continue;
        step += seg[i];
    }
    // One left-to-right pass that does not look again at what it produced:
    // three line ends become two.
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
    if (joined == "\n")
        return {};
    return joined;
}

} // namespace tw
