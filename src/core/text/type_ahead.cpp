#include "core/text/type_ahead.h"

#include "core/text/utf8.h"

namespace tw {
namespace {

bool repeats_one_character(const std::string& s, const std::string& one) {
    if (s.size() <= one.size() || s.size() % one.size() != 0)
        return false;
    for (size_t at = 0; at < s.size(); at += one.size())
        if (s.compare(at, one.size(), one) != 0)
            return false;
    return true;
}

} // namespace

std::optional<size_t> type_ahead::find(const std::string& typed, clock::time_point when,
                                       const std::vector<std::string>& rows,
                                       std::optional<size_t> current) {
    if (typed.empty() || rows.empty())
        return std::nullopt;
    std::string key = ascii_lower(typed);
    bool goes_on = !prefix.empty() && when - last <= pause;
    last = when;
    prefix = goes_on ? prefix + key : key;
    // A new prefix, or one letter again, looks past the current row; a
    // longer prefix may still be the current row's.
    std::string wanted = prefix;
    bool step = !goes_on;
    if (repeats_one_character(prefix, key)) {
        wanted = key;
        step = true;
    }
    size_t start = current ? *current + (step ? 1 : 0) : 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        size_t row = (start + i) % rows.size();
        if (ascii_lower(rows[row]).starts_with(wanted))
            return row;
    }
    return std::nullopt;
}

} // namespace tw
