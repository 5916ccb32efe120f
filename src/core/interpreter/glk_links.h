#pragma once
// The links a Glk game shows (its hyperlinks), window by window, as the
// windows now stand: a buffer window's since it was last cleared, a grid
// window's on the lines it now shows. Which of them the player may choose,
// and in what order, is decided here.
#include "core/interpreter/screen_event.h"

#include <cstddef>
#include <map>
#include <set>
#include <vector>

namespace tw {

class glk_links {
  public:
    // A buffer window's new links, in the order they came.
    void add(const std::vector<game_link>& links);
    // A grid window's line, drawn anew with `links` on it.
    void set_line(int window, size_t row, std::vector<game_link> links);
    // A grid window now `rows` tall: the lines below are gone.
    void cut(int window, size_t rows);
    // A window cleared, or closed.
    void forget(int window);

    // Those that may be chosen: in the windows that wait for a link, taken
    // in `reading_order` (each window's from its top down), each text once,
    // where it stands last, since the player tells links apart by their
    // text alone.
    std::vector<game_link> choosable(const std::vector<int>& reading_order,
                                     const std::set<int>& waiting) const;

  private:
    struct window_links {
        std::vector<game_link> shown; // a buffer's
        std::map<size_t, std::vector<game_link>> lines; // a grid's, by row
    };
    std::map<int, window_links> windows;
};

} // namespace tw
