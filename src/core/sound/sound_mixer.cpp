#include "core/sound/sound_mixer.h"

#include <algorithm>

namespace tw {
namespace {

// A fade moves the gain this often: smooth to the ear, cheap to the mixer.
constexpr auto fade_step = std::chrono::milliseconds(20);

} // namespace

void sound_mixer::update(game_id id, std::int64_t generation,
                         const std::vector<glkote::sound_channel>& listed, const sound_loader& load,
                         sound_clock::time_point now) {
    games[id].generation = generation;
    // A channel the game no longer lists is gone, and its sound with it.
    for (auto it = channels.begin(); it != channels.end();) {
        bool kept = it->first.first != id ||
                    std::any_of(listed.begin(), listed.end(),
                                [&](const auto& u) { return u.id == it->first.second; });
        if (!kept)
            stop(it->second);
        it = kept ? std::next(it) : channels.erase(it);
    }
    for (const auto& update : listed) {
        channel_key key{id, update.id};
        auto found = channels.find(key);
        if (found == channels.end()) {
            channel fresh;
            fresh.voice = free_voice();
            found = channels.emplace(key, std::move(fresh)).first;
        }
        for (const auto& request : update.ops)
            apply(key, found->second, request, load, now);
    }
}

void sound_mixer::apply(const channel_key& key, channel& c, const glkote::sound_op& request,
                        const sound_loader& load, sound_clock::time_point now) {
    switch (request.kind) {
    case glkote::sound_op::play:
        play(key, c, request, load);
        break;
    case glkote::sound_op::stop:
        stop(c);
        break;
    case glkote::sound_op::pause:
    case glkote::sound_op::unpause:
        c.paused = request.kind == glkote::sound_op::pause;
        if (c.sound)
            out.pause(c.voice, c.paused);
        break;
    case glkote::sound_op::change_volume:
        // A change under way gives way to the new one, untold.
        c.fading.reset();
        if (request.duration > 0) {
            c.fading = fade{c.volume, request.volume, now,
                            std::chrono::milliseconds(request.duration), request.notify};
            break;
        }
        c.volume = request.volume;
        if (c.sound)
            out.set_gain(c.voice, gain(c));
        if (request.notify)
            tell(key.first, glkote::event_type::volume, key.second, 0, request.notify);
        break;
    }
}

void sound_mixer::play(const channel_key& key, channel& c, const glkote::sound_op& request,
                       const sound_loader& load) {
    stop(c);
    if (state == device::closed)
        open_device();
    auto& g = games[key.first];
    if (device_missing && !g.told_no_device) {
        g.told_no_device = true;
        told.push_back({key.first, {}, no_sound_device});
    }
    std::shared_ptr<audio_output::clip> sound = g.decoded[request.sound].lock();
    if (!sound && state != device::none) {
        if (auto bytes = load(request.sound))
            sound = out.decode(*bytes);
        g.decoded[request.sound] = sound;
    }
    if (!sound) {
        // Nothing to play: the sound is over before it began.
        if (request.notify)
            tell(key.first, glkote::event_type::sound, key.second, request.sound,
                 request.notify);
        return;
    }
    c.sound = std::move(sound);
    c.number = request.sound;
    c.repeats = request.repeats;
    c.notify = request.notify;
    out.play(c.voice, *c.sound, c.repeats, gain(c));
    // A paused channel keeps what it is given paused.
    if (c.paused)
        out.pause(c.voice, true);
}

void sound_mixer::stop(channel& c) {
    if (!c.sound)
        return;
    c.sound.reset();
    out.stop(c.voice);
}

void sound_mixer::end_game(game_id id) {
    for (auto it = channels.begin(); it != channels.end();) {
        if (it->first.first != id) {
            ++it;
            continue;
        }
        stop(it->second);
        it = channels.erase(it);
    }
    games.erase(id);
    if (games.empty() && state != device::closed) {
        out.close();
        state = device::closed;
    }
}

void sound_mixer::voice_ended(int voice) {
    for (auto& [key, c] : channels) {
        // An end reported after the voice was given another sound is the
        // old sound's: the voice still plays.
        if (c.voice != voice || !c.sound || out.playing(voice))
            continue;
        c.sound.reset();
        if (c.notify && c.repeats >= 0)
            tell(key.first, glkote::event_type::sound, key.second, c.number, c.notify);
    }
}

void sound_mixer::set_heard(bool on) {
    if (on == heard)
        return;
    heard = on;
    if (state != device::closed)
        reopen_device();
}

void sound_mixer::set_level(double gain) {
    level = gain;
    apply_gains();
}

void sound_mixer::set_speaking(bool now_speaking) {
    if (now_speaking == speaking)
        return;
    speaking = now_speaking;
    apply_gains();
}

std::optional<sound_clock::time_point> sound_mixer::advance(sound_clock::time_point now) {
    bool fading = false;
    for (auto& [key, c] : channels) {
        if (!c.fading)
            continue;
        const fade& f = *c.fading;
        double done = std::chrono::duration<double>(now - f.start) / f.length;
        if (done >= 1) {
            c.volume = f.to;
            std::uint32_t notify = f.notify;
            c.fading.reset();
            if (notify)
                tell(key.first, glkote::event_type::volume, key.second, 0, notify);
        } else {
            c.volume = f.from + (f.to - f.from) * std::max(0.0, done);
            fading = true;
        }
        if (c.sound)
            out.set_gain(c.voice, gain(c));
    }
    if (!fading)
        return std::nullopt;
    return now + fade_step;
}

std::vector<sound_mixer::for_game> sound_mixer::take_told() {
    return std::exchange(told, {});
}

void sound_mixer::open_device() {
    // Sounds off, or no device: a silent one, so that sounds still take
    // their time and a game that waits for one to end is not kept waiting,
    // nor told at once and asked again without pause.
    if (heard && out.open(false)) {
        state = device::heard;
        device_missing = false;
        return;
    }
    device_missing = device_missing || heard;
    state = out.open(true) ? device::silent : device::none;
}

void sound_mixer::reopen_device() {
    out.close();
    open_device();
    // What played goes on from its start on the other device.
    for (auto& [key, c] : channels) {
        if (!c.sound)
            continue;
        if (state == device::none) {
            c.sound.reset();
            if (c.notify && c.repeats >= 0)
                tell(key.first, glkote::event_type::sound, key.second, c.number, c.notify);
            continue;
        }
        out.play(c.voice, *c.sound, c.repeats, gain(c));
        if (c.paused)
            out.pause(c.voice, true);
    }
}

double sound_mixer::gain(const channel& c) const {
    return std::clamp(c.volume, 0.0, 1.0) * level * (speaking ? speaking_gain : 1.0);
}

void sound_mixer::apply_gains() {
    for (auto& [key, c] : channels)
        if (c.sound)
            out.set_gain(c.voice, gain(c));
}

void sound_mixer::tell(game_id id, glkote::event_type kind, std::uint32_t channel_id,
                       std::uint32_t number, std::uint32_t notify) {
    glkote::event n;
    n.type = kind;
    n.gen = games[id].generation;
    n.channel = channel_id;
    n.sound = number;
    n.notify = notify;
    told.push_back({id, n, {}});
}

int sound_mixer::free_voice() const {
    for (int voice = 0;; ++voice)
        if (std::none_of(channels.begin(), channels.end(),
                         [&](const auto& entry) { return entry.second.voice == voice; }))
            return voice;
}

} // namespace tw
