#pragma once
// The games' sounds, played by one sound thread for the whole program, and
// the player's controls over them. The thread owns the audio library and
// the rules (sound_mixer); it starts when a game first asks for a sound,
// and holds an audio device only while a game has sounds.
#include "core/glkote/messages.h"
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

// The player's controls (sounds off and on, louder, softer, descriptions
// off and on), from the GUI thread. Each is remembered in the settings;
// returns what the player is told.
std::string control_sounds(chord::action_t control);
// Whether sounds' descriptions are said and shown; any thread.
bool sound_descriptions_on();

} // namespace tw
