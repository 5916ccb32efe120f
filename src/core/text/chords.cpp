#include "core/text/chords.h"

namespace tw {

chord chord_for(const chord_key& key) {
    if (key.shift && key.special == chord_key::up)
        return {chord::faster};
    if (key.shift && key.special == chord_key::down)
        return {chord::slower};
    // Ctrl with "=" or "+" is larger whatever the layout puts under Shift.
    if (key.special == chord_key::plus || key.character == '=' || key.character == '+')
        return {chord::larger};
    if (key.special == chord_key::minus || key.character == '-')
        return {chord::smaller};
    char32_t c = key.character >= 'A' && key.character <= 'Z' ? key.character - 'A' + 'a'
                                                               : key.character;
    switch (c) {
    case 'q':
        return {chord::quit};
    case 'z':
        return {chord::undo};
    case 'h':
        return {chord::help};
    case 'l':
        return {chord::status_line};
    case 's':
        return {chord::save};
    case 'r':
        return {chord::restore};
    case 'k':
        return {chord::choose_link};
    default:
        if (c >= '0' && c <= '9')
            return {chord::replay, static_cast<int>(c - '0')};
        return {};
    }
}

} // namespace tw
