#pragma once
// What a game asks of its sound channels, and what it is told back, as the
// Glk protocol carries them: each update that changes a channel lists every
// channel the game has (one it no longer lists is gone), each with what the
// game did to it since, in order.
#include <string>
#include <vector>

namespace tw {

struct sound_request {
    enum kind_t { play, stop, pause, unpause, change_volume };
    kind_t kind = play;
    unsigned long sound = 0;  // play: the Blorb's sound resource
    long repeats = 1;         // play: how many times; -1 for ever
    unsigned long notify = 0; // play, volume: the game's value to be told at the end; 0: none
    double volume = 1;        // volume: 1 is the sound as it was made
    long duration_ms = 0;     // volume: how long the change takes
    std::string description;  // play: the sound's description in the Blorb, if any
};

struct sound_channel_update {
    long channel = 0;
    std::vector<sound_request> requests;
};

// A sound, or a change of volume, whose end the game asked to be told of.
struct sound_notification {
    enum kind_t { sound_ended, volume_reached };
    kind_t kind = sound_ended;
    long channel = 0;
    unsigned long sound = 0;
    unsigned long notify = 0;
    // The last update Tallowick had read from the game when it ended: an
    // end from before the game's latest play on the channel is stale.
    long generation = 0;
};

} // namespace tw
