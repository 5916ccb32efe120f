#pragma once
// Every command the player has typed, for the Up and Down keys: a walk back
// through them that gives back, past the newest, what was half-typed.
// Owned by the GUI thread.
#include <optional>
#include <string>
#include <vector>

namespace tw {

class command_history {
  public:
    // A command sent; the walk starts again from the newest.
    void add(const std::string& command);
    // Up: the command before the one shown, or none at the oldest (or with
    // no command yet). `field` is what the field holds, kept as the draft
    // when the walk starts.
    std::optional<std::string> earlier(const std::string& field);
    // Down: the command after the one shown, the draft past the newest, or
    // none when the walk is already there.
    std::optional<std::string> later();
    // The command sent last, empty ones included; "" before the first.
    const std::string& last() const { return last_sent; }

  private:
    std::vector<std::string> entries;
    size_t position = 0; // entries.size(): at the draft
    std::string draft;
    std::string last_sent;
};

} // namespace tw
