#include "core/sound/sdl_api.h"

#include <dlfcn.h>

#include <type_traits>

namespace tw {
namespace {

const sdl_api* open_sdl() {
    // SDL_mixer brings SDL itself; its symbols are found through it.
    void* lib = dlopen("libSDL2_mixer-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!lib)
        return nullptr;
    static sdl_api api;
    bool complete = true;
    auto get = [&](auto& fn, const char* name) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(lib, name));
        complete &= fn != nullptr;
    };
    get(api.set_main_ready, "SDL_SetMainReady");
    get(api.set_hint, "SDL_SetHintWithPriority");
    get(api.reset_hint, "SDL_ResetHint");
    get(api.init_subsystem, "SDL_InitSubSystem");
    get(api.quit_subsystem, "SDL_QuitSubSystem");
    get(api.rw_from_const_mem, "SDL_RWFromConstMem");
    get(api.mix_init, "Mix_Init");
    get(api.open_audio_device, "Mix_OpenAudioDevice");
    get(api.close_audio, "Mix_CloseAudio");
    get(api.allocate_channels, "Mix_AllocateChannels");
    get(api.channel_finished, "Mix_ChannelFinished");
    get(api.load_wav_rw, "Mix_LoadWAV_RW");
    get(api.free_chunk, "Mix_FreeChunk");
    get(api.play_channel_timed, "Mix_PlayChannelTimed");
    get(api.halt_channel, "Mix_HaltChannel");
    get(api.pause, "Mix_Pause");
    get(api.resume, "Mix_Resume");
    get(api.volume, "Mix_Volume");
    get(api.playing, "Mix_Playing");
    return complete ? &api : nullptr;
}

} // namespace

const sdl_api* load_sdl() {
    static const sdl_api* const api = open_sdl();
    return api;
}

} // namespace tw
