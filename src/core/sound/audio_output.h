#pragma once
// The seam between the sound rules and the library that decodes and plays
// (SDL_mixer, sdl_audio.cpp; a recorder in the unit tests). A voice is one
// mixer channel, numbered from 0; all calls but on_end come from the sound
// thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace tw {

class audio_output {
  public:
    // A sound decoded for the device; kept while a voice may play it.
    class clip {
      public:
        virtual ~clip() = default;
    };

    virtual ~audio_output() = default;

    // Opens the player's audio device, or with `silent` a device that
    // plays in time and is heard by no one. False when it cannot.
    virtual bool open(bool silent) = 0;
    // Stops every voice and closes the device.
    virtual void close() = 0;
    // The sound in `bytes` (AIFF, Ogg Vorbis, MOD), decoded; null when it
    // is none of them. Needs the device open.
    virtual std::shared_ptr<clip> decode(std::span<const unsigned char> bytes) = 0;
    // Plays `sound` on `voice` `repeats` times (-1 for ever) at `gain` (0
    // to 1), stopping what the voice played.
    virtual void play(int voice, const clip& sound, std::int64_t repeats, double gain) = 0;
    virtual void stop(int voice) = 0;
    virtual void pause(int voice, bool paused) = 0;
    virtual void set_gain(int voice, double gain) = 0;
    // Whether a sound is on `voice`, paused or not.
    virtual bool playing(int voice) = 0;

    // Called, from any thread, when a voice may have stopped (its sound
    // ended, or was stopped): the rules ask playing() which.
    std::function<void(int voice)> on_end;
};

// The platform's audio: SDL_mixer.
std::unique_ptr<audio_output> make_audio_output();

} // namespace tw
