#include "core/sound/sdl_api.h"

namespace tw {

const sdl_api* load_sdl() {
    static const sdl_api api{
        SDL_SetMainReady,     SDL_SetHintWithPriority, SDL_ResetHint,   SDL_InitSubSystem,
        SDL_QuitSubSystem,    SDL_RWFromConstMem,      Mix_Init,        Mix_OpenAudioDevice,
        Mix_CloseAudio,       Mix_AllocateChannels,    Mix_ChannelFinished, Mix_LoadWAV_RW,
        Mix_FreeChunk,        Mix_PlayChannelTimed,    Mix_HaltChannel, Mix_Pause,
        Mix_Resume,           Mix_Volume,              Mix_Playing};
    return &api;
}

} // namespace tw
