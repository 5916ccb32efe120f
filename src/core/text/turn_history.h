#pragma once
// The output of the current turn and of the ten turns before it, which
// Ctrl+digit replays. Owned by the GUI thread.
#include <array>
#include <string>
#include <string_view>

namespace tw {

class turn_history {
  public:
    static constexpr size_t size = 10;

    // Files one raw output segment into the current turn.
    void add_segment(std::string_view raw);
    // Closes the current turn: it becomes the newest entry and the oldest
    // entry is dropped.
    void close_turn();

    // The entry that Ctrl+digit replays: 0 the newest, 1 the one before...
    // 9 the oldest.
    const std::string& replay(int digit) const;

  private:
    std::array<std::string, size> turns;
    std::string current;
};

} // namespace tw
