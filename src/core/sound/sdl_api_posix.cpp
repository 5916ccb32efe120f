#include "core/sound/sdl_api.h"

#include "core/platform/library_loader.h"

namespace tw {
namespace {

const sdl_api* open_sdl() {
    // SDL_mixer brings SDL itself; its symbols are found through it.
    static library_loader lib({"libSDL2_mixer-2.0.so.0"});
    if (!lib.opened())
        return nullptr;
    static sdl_api api;
    lib.find(api.set_main_ready, "SDL_SetMainReady");
    lib.find(api.set_hint, "SDL_SetHintWithPriority");
    lib.find(api.reset_hint, "SDL_ResetHint");
    lib.find(api.init_subsystem, "SDL_InitSubSystem");
    lib.find(api.quit_subsystem, "SDL_QuitSubSystem");
    lib.find(api.rw_from_const_mem, "SDL_RWFromConstMem");
    lib.find(api.mix_init, "Mix_Init");
    lib.find(api.open_audio_device, "Mix_OpenAudioDevice");
    lib.find(api.close_audio, "Mix_CloseAudio");
    lib.find(api.allocate_channels, "Mix_AllocateChannels");
    lib.find(api.channel_finished, "Mix_ChannelFinished");
    lib.find(api.load_wav_rw, "Mix_LoadWAV_RW");
    lib.find(api.free_chunk, "Mix_FreeChunk");
    lib.find(api.play_channel_timed, "Mix_PlayChannelTimed");
    lib.find(api.halt_channel, "Mix_HaltChannel");
    lib.find(api.pause, "Mix_Pause");
    lib.find(api.resume, "Mix_Resume");
    lib.find(api.volume, "Mix_Volume");
    lib.find(api.playing, "Mix_Playing");
    return lib.complete() ? &api : nullptr;
}

} // namespace

const sdl_api* load_sdl() {
    static const sdl_api* const api = open_sdl();
    return api;
}

} // namespace tw
