// Sound channels: the sound calls of the Glk API. The display (Tallowick)
// plays the story's sounds from its Blorb; each update tells it every
// channel and what the game did to it, and it tells back when a sound or a
// change of volume ends that the game asked to hear of.
#include "glk/images.h"
#include "glk/library.h"

namespace tw::glk {
namespace {

constexpr glui32 full_volume = 0x10000;
constexpr glui32 forever = 0xFFFFFFFF;

// The sound chunks Glk plays: AIFF (a FORM), Ogg Vorbis and MOD.
bool playable(glui32 chunk_type) {
    return chunk_type == giblorb_make_id('F', 'O', 'R', 'M') ||
           chunk_type == giblorb_make_id('O', 'G', 'G', 'V') ||
           chunk_type == giblorb_make_id('M', 'O', 'D', ' ');
}

using op = tw::glkote::sound_op;

op of(op::kind_t kind) {
    op o;
    o.kind = kind;
    return o;
}

void add_op(schanid_t chan, op o) {
    chan->ops.push_back(std::move(o));
    library::get().schannels_changed = true;
}

glui32 next_channel_id() {
    static glui32 last = 0;
    return ++last;
}

} // namespace
} // namespace tw::glk

using namespace tw::glk;

schanid_t glk_schannel_create(glui32 rock) {
    return glk_schannel_create_ext(rock, full_volume);
}

schanid_t glk_schannel_create_ext(glui32 rock, glui32 volume) {
    auto& lib = library::get();
    if (!lib.sound_supported)
        return nullptr;
    auto* chan = lib.schannels.add(std::make_unique<glk_schannel_struct>(next_channel_id(), rock));
    lib.schannels_changed = true;
    if (volume != full_volume)
        glk_schannel_set_volume(chan, volume);
    return chan;
}

void glk_schannel_destroy(schanid_t chan) {
    if (!chan)
        return;
    auto& lib = library::get();
    // Left out of the next update's list, it is gone, and its sound with it.
    lib.schannels.destroy(chan);
    lib.schannels_changed = true;
}

schanid_t glk_schannel_iterate(schanid_t chan, glui32* rockptr) {
    return library::get().schannels.next(chan, rockptr);
}

glui32 glk_schannel_get_rock(schanid_t chan) {
    return chan ? chan->rock : 0;
}

glui32 glk_schannel_play(schanid_t chan, glui32 snd) {
    return glk_schannel_play_ext(chan, snd, 1, 0);
}

glui32 glk_schannel_play_ext(schanid_t chan, glui32 snd, glui32 repeats, glui32 notify) {
    if (!chan)
        return 0;
    // What played stops, whether or not the new sound can be played.
    chan->sound_end.reset();
    bool found = playable(resource_chunk_type(giblorb_ID_Snd, snd));
    if (!found || repeats == 0) {
        add_op(chan, of(op::stop));
        return found;
    }
    op play = of(op::play);
    play.sound = snd;
    play.repeats = repeats == forever ? -1 : std::int64_t{repeats};
    play.notify = notify;
    play.alttext = description_of(giblorb_ID_Snd, snd).value_or("");
    add_op(chan, std::move(play));
    if (notify && repeats != forever)
        chan->sound_end = {{snd, notify, library::get().next_generation()}};
    return 1;
}

glui32 glk_schannel_play_multi(schanid_t* chanarray, glui32 chancount, glui32* sndarray,
                               glui32 soundcount, glui32 notify) {
    // All in the same update: the display starts them together.
    glui32 started = 0;
    for (glui32 i = 0; chanarray && sndarray && i < chancount && i < soundcount; ++i)
        started += glk_schannel_play_ext(chanarray[i], sndarray[i], 1, notify);
    return started;
}

void glk_schannel_stop(schanid_t chan) {
    if (!chan)
        return;
    chan->sound_end.reset();
    add_op(chan, of(op::stop));
}

void glk_schannel_pause(schanid_t chan) {
    if (chan)
        add_op(chan, of(op::pause));
}

void glk_schannel_unpause(schanid_t chan) {
    if (chan)
        add_op(chan, of(op::unpause));
}

void glk_schannel_set_volume(schanid_t chan, glui32 vol) {
    glk_schannel_set_volume_ext(chan, vol, 0, 0);
}

void glk_schannel_set_volume_ext(schanid_t chan, glui32 vol, glui32 duration, glui32 notify) {
    if (!chan)
        return;
    op change = of(op::change_volume);
    change.volume = static_cast<double>(vol) / full_volume;
    change.duration = duration;
    change.notify = notify;
    add_op(chan, std::move(change));
    // A change under way is replaced, untold.
    chan->volume_end.reset();
    if (notify)
        chan->volume_end = {{0, notify, library::get().next_generation()}};
}

// Sounds are read when played; there is nothing to load ahead.
void glk_sound_load_hint(glui32, glui32) {}
