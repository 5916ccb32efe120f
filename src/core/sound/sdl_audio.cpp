// The program's audio: SDL_mixer, which decodes AIFF, Ogg Vorbis and MOD
// into memory and mixes them on an SDL audio device; "dummy", SDL's own
// device that plays in time to no one, is the silent one.
#include "core/sound/audio_output.h"
#include "core/sound/sdl_api.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdint>

namespace tw {
namespace {

constexpr int mix_rate = 44100;
constexpr int mix_channels = 2;
constexpr int mix_buffer_frames = 2048;
constexpr int voices_at_a_time = 8;

// SDL_mixer reports a channel's end to a plain function, on its audio
// thread or inside the call that stopped it.
std::atomic<audio_output*> reporting{nullptr};

void channel_finished(int voice) {
    if (auto* out = reporting.load(); out && out->on_end)
        out->on_end(voice);
}

class sdl_clip final : public audio_output::clip {
  public:
    sdl_clip(const sdl_api& api, Mix_Chunk* chunk) : api(api), chunk(chunk) {}
    ~sdl_clip() override { api.free_chunk(chunk); }
    sdl_clip(const sdl_clip&) = delete;
    sdl_clip& operator=(const sdl_clip&) = delete;

    const sdl_api& api;
    Mix_Chunk* const chunk;
};

class sdl_output final : public audio_output {
  public:
    ~sdl_output() override {
        close();
        reporting.store(nullptr);
    }

    bool open(bool silent) override {
        api = load_sdl();
        if (!api)
            return false;
        api->set_main_ready();
        // The heard device is SDL's choice, or the player's (SDL_AUDIODRIVER).
        if (silent)
            api->set_hint(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
        else
            api->reset_hint(SDL_HINT_AUDIODRIVER);
        api->set_hint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Tallowick", SDL_HINT_NORMAL);
        api->set_hint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "Game sounds", SDL_HINT_NORMAL);
        if (api->init_subsystem(SDL_INIT_AUDIO) != 0)
            return false;
        api->mix_init(MIX_INIT_OGG | MIX_INIT_MOD);
        // Always this format, converted by SDL if the device differs: what
        // was decoded for one device plays on the other.
        if (api->open_audio_device(mix_rate, AUDIO_S16SYS, mix_channels, mix_buffer_frames,
                                   nullptr, 0) != 0) {
            api->quit_subsystem(SDL_INIT_AUDIO);
            return false;
        }
        voices = api->allocate_channels(-1);
        reporting.store(this);
        api->channel_finished(channel_finished);
        opened = true;
        return true;
    }

    void close() override {
        if (!opened)
            return;
        opened = false;
        api->close_audio();
        api->quit_subsystem(SDL_INIT_AUDIO);
    }

    std::shared_ptr<clip> decode(std::span<const unsigned char> bytes) override {
        if (!opened || bytes.empty() || bytes.size() > INT_MAX)
            return nullptr;
        SDL_RWops* source = api->rw_from_const_mem(bytes.data(), static_cast<int>(bytes.size()));
        Mix_Chunk* chunk = source ? api->load_wav_rw(source, 1) : nullptr;
        return chunk ? std::make_shared<sdl_clip>(*api, chunk) : nullptr;
    }

    void play(int voice, const clip& sound, std::int64_t repeats, double gain) override {
        if (!opened)
            return;
        if (voice >= voices)
            voices = api->allocate_channels((voice / voices_at_a_time + 1) * voices_at_a_time);
        api->volume(voice, volume_of(gain));
        int loops = repeats < 0 ? -1 : static_cast<int>(std::clamp<std::int64_t>(repeats - 1, 0, INT_MAX));
        api->play_channel_timed(voice, static_cast<const sdl_clip&>(sound).chunk, loops, -1);
    }

    void stop(int voice) override {
        if (opened && voice < voices)
            api->halt_channel(voice);
    }

    void pause(int voice, bool paused) override {
        if (opened && voice < voices)
            paused ? api->pause(voice) : api->resume(voice);
    }

    void set_gain(int voice, double gain) override {
        if (opened && voice < voices)
            api->volume(voice, volume_of(gain));
    }

    bool playing(int voice) override { return opened && voice < voices && api->playing(voice); }

  private:
    static int volume_of(double gain) {
        return static_cast<int>(std::lround(std::clamp(gain, 0.0, 1.0) * MIX_MAX_VOLUME));
    }

    const sdl_api* api = nullptr;
    bool opened = false;
    int voices = 0;
};

} // namespace

std::unique_ptr<audio_output> make_audio_output() {
    return std::make_unique<sdl_output>();
}

} // namespace tw
