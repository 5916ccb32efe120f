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
    if (key.special == chord_key::page_up)
        return {chord::sounds_louder};
    if (key.special == chord_key::page_down)
        return {chord::sounds_softer};
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
    case 'm':
        return {chord::sounds_on_off};
    case 'd':
        return {chord::descriptions_on_off};
    default:
        if (c >= '0' && c <= '9')
            return {chord::replay, static_cast<int>(c - '0')};
        return {};
    }
}

const char* keys_help() {
    return "Tallowick's keys:\n"
           "Up and Down, the commands typed; Control Up, the last one.\n"
           "Control L, the status line.\n"
           "Control 0 to 9, the last ten turns again.\n"
           "Control S, save; Control R, restore; Control Z, undo; Control Q, quit.\n"
           "Control alone, silence.\n"
           "Control Shift Up and Down, speech faster and slower.\n"
           "Control Plus and Minus, larger and smaller text.\n"
           "Control M, the game's sounds off and on.\n"
           "Control Page Up and Page Down, the game's sounds louder and softer.\n"
           "Control D, descriptions of sounds off and on.\n"
           "Control H, these keys and the game's help.\n";
}

} // namespace tw
