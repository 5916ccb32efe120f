#include "core/text/command_history.h"

namespace tw {

void command_history::add(const std::string& command) {
    last_sent = command;
    // An empty line is no command to walk back to.
    if (!command.empty())
        entries.push_back(command);
    position = entries.size();
    draft.clear();
}

std::optional<std::string> command_history::earlier(const std::string& field) {
    if (position == 0)
        return std::nullopt;
    if (position == entries.size())
        draft = field;
    return entries[--position];
}

std::optional<std::string> command_history::later() {
    if (position == entries.size())
        return std::nullopt;
    ++position;
    return position == entries.size() ? draft : entries[position];
}

} // namespace tw
