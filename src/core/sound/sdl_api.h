#pragma once
// The SDL and SDL_mixer functions the sound thread uses, as a table. On
// Linux the libraries are loaded when a game first plays a sound: linked
// from the start, they and the codecs and audio clients they pull in would
// cost every start-up; on Windows they are linked in.
#define SDL_MAIN_HANDLED
#include <SDL.h>
#include <SDL_mixer.h>

namespace tw {

struct sdl_api {
    decltype(&SDL_SetMainReady) set_main_ready;
    decltype(&SDL_SetHintWithPriority) set_hint;
    decltype(&SDL_ResetHint) reset_hint;
    decltype(&SDL_InitSubSystem) init_subsystem;
    decltype(&SDL_QuitSubSystem) quit_subsystem;
    decltype(&SDL_RWFromConstMem) rw_from_const_mem;
    decltype(&Mix_Init) mix_init;
    decltype(&Mix_OpenAudioDevice) open_audio_device;
    decltype(&Mix_CloseAudio) close_audio;
    decltype(&Mix_AllocateChannels) allocate_channels;
    decltype(&Mix_ChannelFinished) channel_finished;
    decltype(&Mix_LoadWAV_RW) load_wav_rw;
    decltype(&Mix_FreeChunk) free_chunk;
    decltype(&Mix_PlayChannelTimed) play_channel_timed;
    decltype(&Mix_HaltChannel) halt_channel;
    decltype(&Mix_Pause) pause;
    decltype(&Mix_Resume) resume;
    decltype(&Mix_Volume) volume;
    decltype(&Mix_Playing) playing;
};

// The libraries, loaded once; null when they cannot be had.
const sdl_api* load_sdl();

} // namespace tw
