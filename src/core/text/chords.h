#pragma once
// The game screen's chords: Ctrl with a key, wherever the focus is on the
// screen, and what each does. One table, so that what a chord does is told
// in one place, whatever toolkit reports the key, and Ctrl+H lists them all.
#include <string>

namespace tw {

struct chord_key {
    enum special_t { none, up, down, plus, minus, page_up, page_down };
    char32_t character = 0; // the key's character, either case, when it has one
    special_t special = none;
    bool shift = false;
};

struct chord {
    enum action_t {
        none, // no chord of ours
        quit,
        undo,
        help,
        status_line,
        save,
        restore,
        replay, // the turn `digit` back (0 the newest)
        faster,
        slower,
        larger,
        smaller,
        // The game's sounds and their descriptions.
        sounds_on_off,
        sounds_louder,
        sounds_softer,
        descriptions_on_off,
        braille,
        choose_link, // one of the links the game shows
    };
    action_t action = none;
    int digit = 0;
};

chord chord_for(const chord_key& key);

// Every chord and what it does, as Ctrl+H says them: one sentence each.
std::string chords_help();

} // namespace tw
