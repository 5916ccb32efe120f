#pragma once
// The rules of the games' sounds, free of threads and clocks so that they
// can be tested with a recording output: a voice for each of a game's
// channels; each voice's gain (the game's volume and its fades, the
// player's level, half while Tallowick speaks); the device heard, or
// silent while the player has sounds off or none can be opened, so that
// sounds still end in their time; and the ends a game asked to be told of.
#include "core/sound/audio_output.h"
#include "core/glkote/messages.h"

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
using sound_loader = std::function<std::optional<std::vector<unsigned char>>(std::uint32_t)>;

inline constexpr char no_sound_device[] = "No sound device: the game's sounds are not heard.";
// While Tallowick speaks, the games' sounds are this much softer (-6 dB).
inline constexpr double speaking_gain = 0.5;

class sound_mixer {
  public:
    using game_id = const void*;
    // Something for one game: an end it asked to hear of (an event to send
    // it, whose gen is the last update the game had sent then: an end from
    // before its latest play is stale), or a sentence for the player.
    struct for_game {
        game_id game;
        glkote::event notification;
        std::string notice;
    };

    explicit sound_mixer(audio_output& out) : out(out) {}
    sound_mixer(const sound_mixer&) = delete;
    sound_mixer& operator=(const sound_mixer&) = delete;

    void update(game_id game, std::int64_t generation, const std::vector<glkote::sound_channel>& channels,
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
        std::uint32_t notify = 0;
    };
    struct channel {
        int voice = 0;
        std::shared_ptr<audio_output::clip> sound; // while one is on
        std::uint32_t number = 0;
        std::int64_t repeats = 1;
        std::uint32_t notify = 0;
        bool paused = false;
        double volume = 1;
        std::optional<fade> fading;
    };
    struct game {
        std::int64_t generation = 0;
        bool told_no_device = false;
        std::map<std::uint32_t, std::weak_ptr<audio_output::clip>> decoded;
    };
    using channel_key = std::pair<game_id, std::uint32_t>;
    enum class device { closed, heard, silent, none };

    void apply(const channel_key& key, channel& c, const glkote::sound_op& request,
               const sound_loader& load, sound_clock::time_point now);
    void play(const channel_key& key, channel& c, const glkote::sound_op& request,
              const sound_loader& load);
    void stop(channel& c);
    void open_device();
    void reopen_device();
    double gain(const channel& c) const;
    void apply_gains();
    void tell(game_id game, glkote::event_type kind, std::uint32_t channel, std::uint32_t number,
              std::uint32_t notify);
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
