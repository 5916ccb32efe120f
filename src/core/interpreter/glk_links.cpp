#include "core/interpreter/glk_links.h"

#include <algorithm>
#include <string>

namespace tw {
namespace {

// A buffer window that is never cleared keeps at most this many links,
// the newest: a game that prints a link every turn must not fill the
// memory, nor a list no one can hear through.
constexpr size_t window_limit = 500;

} // namespace

void glk_links::add(const std::vector<game_link>& links) {
    for (const auto& link : links) {
        auto& shown = windows[link.window].shown;
        // A link shown again is where it now stands, once.
        std::erase(shown, link);
        shown.push_back(link);
        if (shown.size() > window_limit)
            shown.erase(shown.begin());
    }
}

void glk_links::set_line(int window, size_t row, std::vector<game_link> links) {
    auto& lines = windows[window].lines;
    if (links.empty())
        lines.erase(row);
    else
        lines[row] = std::move(links);
}

void glk_links::cut(int window, size_t rows) {
    if (auto it = windows.find(window); it != windows.end())
        it->second.lines.erase(it->second.lines.lower_bound(rows), it->second.lines.end());
}

void glk_links::forget(int window) {
    windows.erase(window);
}

std::vector<game_link> glk_links::choosable(const std::vector<int>& reading_order,
                                            const std::set<int>& waiting) const {
    std::vector<game_link> found;
    for (int id : reading_order) {
        auto it = windows.find(id);
        if (it == windows.end() || !waiting.count(id))
            continue;
        for (const auto& link : it->second.shown)
            found.push_back(link);
        for (const auto& [row, links] : it->second.lines)
            found.insert(found.end(), links.begin(), links.end());
    }
    // Each text where it stands last.
    std::vector<game_link> once;
    std::set<std::string> seen;
    for (auto it = found.rbegin(); it != found.rend(); ++it)
        if (seen.insert(it->text).second)
            once.push_back(std::move(*it));
    std::reverse(once.begin(), once.end());
    return once;
}

} // namespace tw
