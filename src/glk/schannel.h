#pragma once
// A sound channel. The display plays it: what the game does to it is kept
// as the protocol's operations until the next update carries them, with
// what the game waits to hear the end of.
#include "core/glkote/messages.h"
#include "glk/glk_api.h"

#include <optional>
#include <vector>

struct glk_schannel_struct {
    glk_schannel_struct(glui32 id, glui32 rock) : id(id), rock(rock) {}

    const glui32 id;
    const glui32 rock;
    size_t list_index = 0;
    gidispatch_rock_t dispatch_rock{};

    std::vector<tw::glkote::sound_op> ops;

    // An end the game asked to be told of, and the update that carried
    // what it ends: the display's word of an end from before that update
    // is about an earlier sound or volume.
    struct awaited_end {
        glui32 sound = 0;
        glui32 notify = 0;
        glui32 generation = 0;
    };
    std::optional<awaited_end> sound_end;
    std::optional<awaited_end> volume_end;
};
