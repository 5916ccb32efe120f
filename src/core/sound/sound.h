#pragma once
// The games' sounds, played by one sound thread for the whole program, and
// the player's controls over them. The thread owns the audio library and
// the rules (sound_mixer); it starts when a game first asks for a sound,
// and holds an audio device only while a game has sounds.
#include "core/glkote/messages.h"
#include "core/platform/settings.h"
#include "core/text/chords.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tw {

// One game's sounds, read from its story file (a Blorb). Ends the game
// asked to hear of go to `notify` (as the events to send it), sentences for
// the player to `tell`,
// both on the sound thread. Destroyed, it stops every sound of the game at
// once, and neither is called again.
class game_sounds {
  public:
    game_sounds(std::filesystem::path story, std::function<void(const glkote::event&)> notify,
                std::function<void(const std::string&)> tell);
    ~game_sounds();
    game_sounds(const game_sounds&) = delete;
    game_sounds& operator=(const game_sounds&) = delete;

    // What the game asked in its update numbered `generation`; returns at once.
    void update(std::int64_t generation, std::vector<glkote::sound_channel> channels);

    struct state;

  private:
    std::shared_ptr<state> own;
};

// The player's controls over the games' sounds, as the settings keep them.
struct sound_controls {
    bool heard = true;     // off: what plays stops, and nothing is heard
    int level = 0;         // steps of 3 dB below the game's own, down to -10
    bool described = true; // sounds' descriptions said and shown

    static sound_controls kept_in(const player_settings& settings);
    void keep_in(player_settings& settings) const;
    // Changes by the chord `control`; returns what the player is told ("" for
    // a chord that is not about sounds).
    std::string change(chord::action_t control);
    // The gain `level` stands for: 1 at the game's own.
    double gain() const;
};

// The player's controls, from the GUI thread: changed, remembered in the
// settings and applied to what plays; returns what the player is told.
std::string control_sounds(chord::action_t control);
// Whether sounds' descriptions are said and shown; any thread.
bool sound_descriptions_on();

} // namespace tw
