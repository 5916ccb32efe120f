#pragma once
// Finding a row of a list by typing the first letters of its text, as a
// native list does: the letters typed in quick succession make one prefix;
// after a pause a letter starts a new one; one letter typed again and again
// steps through the rows that start with it.
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tw {

class type_ahead {
  public:
    using clock = std::chrono::steady_clock;
    // Letters further apart than this start a new prefix.
    static constexpr std::chrono::milliseconds pause{1000};

    // `typed` is one character, UTF-8; `rows` the list's texts; `current`
    // the row that has the focus, if any. Returns the row to move to, or
    // none when no row starts with what was typed.
    std::optional<size_t> find(const std::string& typed, clock::time_point when,
                               const std::vector<std::string>& rows,
                               std::optional<size_t> current);

  private:
    std::string prefix;
    clock::time_point last;
};

} // namespace tw
