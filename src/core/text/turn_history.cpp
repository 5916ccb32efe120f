#include "core/text/turn_history.h"

#include "core/text/segmenter.h"

#include <algorithm>

namespace tw {

void turn_history::add_segment(std::string_view raw) {
    current += turn_text(raw);
}

void turn_history::close_turn() {
    std::rotate(turns.begin(), turns.begin() + 1, turns.end());
    turns.back() = std::move(current);
    current.clear();
}

const std::string& turn_history::replay(int digit) const {
    // Ctrl+0 is the newest entry, Ctrl+1 the one before it... Ctrl+9 the oldest.
    int d = digit == 0 ? 10 : digit;
    return turns[static_cast<size_t>(9 - d + 10) % size];
}

} // namespace tw
