#pragma once
// The rules of the games' sounds, free of threads and clocks so that they
// can be tested with a recording output: a voice for each of a game's
// channels; each voice's gain (the game's volume and its fades, the
// player's level, half while Tallowick speaks); the device heard, or
// silent while the player has sounds off or none can be opened, so that
// sounds still end in their time; and the ends a game asked to be told of.
#include "core/sound/audio_output.h"
#include "core/sound/sound_requests.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tw {

using sound_clock = std::chrono::steady_clock;

// A game's sound resource's bytes, by number; none when it has no such sound.
using sound_loader = std::function<std::optional<std::vector<unsigned char>>(unsigned long)>;

inline constexpr char no_sound_device[] = "No sound device: the game's sounds are not heard.";
// While Tallowick speaks, the games' sounds are this much softer (-6 dB).
inline constexpr double speaking_gain = 0.5;

class sound_mixer {
  public:
    using game_id = const void*;
    // Something for one game: an end it asked to hear of, or a sentence
    // for the player.
    struct for_game {
        game_id game;
        sound_notification notification;
        std::string notice;
    };

    explicit sound_mixer(audio_output& out) : out(out) {}
    sound_mixer(const sound_mixer&) = delete;
    sound_mixer& operator=(const sound_mixer&) = delete;

    void update(game_id game, long generation, const std::vector<sound_channel_update>& channels,
                const sound_loader& load, sound_clock::time_point now);
    // Every sound of the game stops; with no game left, the device closes.
    void end_game(game_id game);
    // What audio_output::on_end reported, on this thread.
    void voice_ended(int voice);
    // The player's controls, and Tallowick's speech.
    void set_heard(bool heard);
    void set_level(double gain);
    void set_speaking(bool speaking);
    // Fades up to `now`; when the next step is due while one goes on.
    std::optional<sound_clock::time_point> advance(sound_clock::time_point now);

    std::vector<for_game> take_told();

  private:
    struct fade {
        double from = 1, to = 1;
        sound_clock::time_point start;
        sound_clock::duration length{};
        unsigned long notify = 0;
    };
    struct channel {
        int voice = 0;
        std::shared_ptr<audio_output::clip> sound; // while one is on
        unsigned long number = 0;
        long repeats = 1;
        unsigned long notify = 0;
        bool paused = false;
        double volume = 1;
        std::optional<fade> fading;
    };
    struct game {
        long generation = 0;
        bool told_no_device = false;
        std::map<unsigned long, std::weak_ptr<audio_output::clip>> decoded;
    };
    using channel_key = std::pair<game_id, long>;
    enum class device { closed, heard, silent, none };

    void apply(const channel_key& key, channel& c, const sound_request& request,
               const sound_loader& load, sound_clock::time_point now);
    void play(const channel_key& key, channel& c, const sound_request& request,
              const sound_loader& load);
    void stop(channel& c);
    void open_device();
    void reopen_device();
    double gain(const channel& c) const;
    void apply_gains();
    void tell(game_id game, sound_notification::kind_t kind, long id, unsigned long number,
              unsigned long notify);
    int free_voice() const;

    audio_output& out;
    std::map<channel_key, channel> channels;
    std::map<game_id, game> games;
    device state = device::closed;
    bool heard = true;
    bool device_missing = false; // the player's device could not be opened, last time
    double level = 1;
    bool speaking = false;
    std::vector<for_game> told;
};

} // namespace tw
