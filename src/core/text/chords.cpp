#include "core/text/chords.h"

namespace tw {
namespace {

struct chord_row {
    char32_t character; // lower case; 0 for a special key
    chord_key::special_t special;
    bool shift;
    chord::action_t action;
    // What Ctrl+H says; none on a row that only adds a key to the one before.
    const char* told;
};

// In the order Ctrl+H tells them. The replay row's '0' stands for every digit.
constexpr chord_row rows[] = {
    {'q', chord_key::none, false, chord::quit, "Control Q: quit, after asking."},
    {'z', chord_key::none, false, chord::undo, "Control Z: undo."},
    {'h', chord_key::none, false, chord::help, "Control H: these keys, then the game's own help."},
    {'l', chord_key::none, false, chord::status_line, "Control L: the status line."},
    {'s', chord_key::none, false, chord::save, "Control S: save."},
    {'r', chord_key::none, false, chord::restore, "Control R: restore."},
    {'k', chord_key::none, false, chord::choose_link, "Control K: choose a link."},
    {'0', chord_key::none, false, chord::replay,
     "Control 0 to Control 9: the last ten turns again, 0 the newest."},
    {0, chord_key::up, true, chord::faster, "Control Shift Up, Control Shift Down: faster, slower."},
    {0, chord_key::down, true, chord::slower, nullptr},
    // Ctrl with "=" or "+" is larger whatever the layout puts under Shift.
    {0, chord_key::plus, false, chord::larger, "Control Plus, Control Minus: larger, smaller text."},
    {'=', chord_key::none, false, chord::larger, nullptr},
    {'+', chord_key::none, false, chord::larger, nullptr},
    {0, chord_key::minus, false, chord::smaller, nullptr},
    {'-', chord_key::none, false, chord::smaller, nullptr},
    {'m', chord_key::none, false, chord::sounds_on_off,
     "Control M: the game's sounds off and on."},
    {0, chord_key::page_up, false, chord::sounds_louder,
     "Control Page Up, Control Page Down: the game's sounds louder, softer."},
    {0, chord_key::page_down, false, chord::sounds_softer, nullptr},
    {'d', chord_key::none, false, chord::descriptions_on_off,
     "Control D: descriptions of the game's sounds off and on."},
    {'b', chord_key::none, false, chord::braille,
     "Control B: braille on and off: what Tallowick says is shown on the braille display too, "
     "through NVDA."},
};

const char silence_told[] = "Control alone, or any other key: silence.";

bool matches(const chord_row& row, const chord_key& key, char32_t lower) {
    if (row.special != chord_key::none)
        return row.special == key.special && (!row.shift || key.shift);
    if (row.action == chord::replay)
        return lower >= '0' && lower <= '9';
    // Shift is part of a character's chord only where the layout needs it.
    return row.character == lower;
}

} // namespace

chord chord_for(const chord_key& key) {
    char32_t lower = key.character >= 'A' && key.character <= 'Z' ? key.character - 'A' + 'a'
                                                                   : key.character;
    for (const auto& row : rows)
        if (matches(row, key, lower))
            return {row.action, row.action == chord::replay ? static_cast<int>(lower - '0') : 0};
    return {};
}

std::string chords_help() {
    std::string said;
    for (const auto& row : rows)
        if (row.told)
            said += std::string(row.told) + " ";
    return said + silence_told;
}

} // namespace tw
