#include "core/sound/sound.h"

#include "core/platform/platform.h"
#include "core/platform/settings.h"
#include "core/sound/audio_output.h"
#include "core/sound/blorb_sounds.h"
#include "core/sound/sound_mixer.h"
#include "core/speech/speech.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace tw {

struct game_sounds::state {
    std::filesystem::path story;
    std::function<void(const glkote::event&)> notify;
    std::function<void(const std::string&)> tell;
    std::optional<blorb_sounds> sounds; // opened on the sound thread, at the first sound
};

namespace {

// Each step softer is 3 dB; the softest is 30 dB below the game's sounds.
constexpr int softest_level = -10;
constexpr double decibels_a_step = 3;

// The player's controls, read from the settings once and kept there; the
// GUI thread changes them, the sound and reader threads read them.
struct shared_controls {
    std::mutex mutex;
    sound_controls now;
};

shared_controls& player_controls() {
    static shared_controls c;
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        std::string problem;
        c.now = sound_controls::kept_in(load_settings(settings_file(), problem));
    });
    return c;
}

sound_controls current_controls() {
    auto& c = player_controls();
    std::lock_guard lock(c.mutex);
    return c.now;
}

// One entry of the sound thread's queue.
struct job {
    enum kind_t { update, end_game, voice_ended, controls_changed, speaking };
    kind_t kind = update;
    std::uint64_t seq = 0;
    sound_mixer::game_id game = nullptr;
    std::shared_ptr<game_sounds::state> owner;
    std::int64_t generation = 0;
    std::vector<glkote::sound_channel> channels;
    int voice = 0;
    bool flag = false;
};

class sound_thread {
  public:
    // Starts the thread with the first update; other jobs before it have
    // nothing to act on.
    void push(job j) {
        {
            std::lock_guard lock(mutex);
            if (!started && j.kind != job::update)
                return;
            j.seq = ++queued;
            jobs.push_back(std::move(j));
            start_locked();
        }
        work.notify_one();
    }

    // Waits until everything queued so far has been done.
    void flush() {
        std::unique_lock lock(mutex);
        if (!started || std::this_thread::get_id() == thread_id)
            return;
        const auto target = queued;
        done_cv.wait(lock, [&] { return done >= target; });
    }

  private:
    void start_locked() {
        if (started)
            return;
        // Detached and never destroyed, as the speech thread is: nothing is
        // torn down at exit while it may still be inside the audio library.
        std::thread t([this] {
            name_this_thread("Sounds");
            run();
        });
        thread_id = t.get_id();
        t.detach();
        started = true;
    }

    void run() {
        out = make_audio_output();
        out->on_end = [this](int voice) {
            job j;
            j.kind = job::voice_ended;
            j.voice = voice;
            push(std::move(j));
        };
        mixer = std::make_unique<sound_mixer>(*out);
        apply_controls();
        set_speaking_listener([this](bool speaking) {
            job j;
            j.kind = job::speaking;
            j.flag = speaking;
            push(std::move(j));
        });
        std::optional<sound_clock::time_point> next_step;
        for (;;) {
            std::optional<job> j;
            {
                std::unique_lock lock(mutex);
                auto ready = [&] { return !jobs.empty(); };
                if (next_step)
                    work.wait_until(lock, *next_step, ready);
                else
                    work.wait(lock, ready);
                if (!jobs.empty()) {
                    j = std::move(jobs.front());
                    jobs.pop_front();
                }
            }
            if (j)
                handle(*j);
            next_step = mixer->advance(sound_clock::now());
            deliver();
            if (j) {
                {
                    std::lock_guard lock(mutex);
                    done = j->seq;
                }
                done_cv.notify_all();
            }
        }
    }

    void handle(job& j) {
        switch (j.kind) {
        case job::update: {
            auto& owner = games[j.game];
            owner = j.owner;
            mixer->update(
                j.game, j.generation, j.channels,
                [&](std::uint32_t number) {
                    if (!owner->sounds)
                        owner->sounds.emplace(owner->story);
                    return owner->sounds->sound(number);
                },
                sound_clock::now());
            break;
        }
        case job::end_game:
            mixer->end_game(j.game);
            games.erase(j.game);
            break;
        case job::voice_ended:
            mixer->voice_ended(j.voice);
            break;
        case job::controls_changed:
            apply_controls();
            break;
        case job::speaking:
            mixer->set_speaking(j.flag);
            break;
        }
    }

    void apply_controls() {
        auto c = current_controls();
        mixer->set_heard(c.heard);
        mixer->set_level(c.gain());
    }

    void deliver() {
        for (auto& told : mixer->take_told()) {
            auto owner = games.find(told.game);
            if (owner == games.end())
                continue;
            if (!told.notice.empty())
                owner->second->tell(told.notice);
            else
                owner->second->notify(told.notification);
        }
    }

    std::mutex mutex;
    std::condition_variable work;
    std::condition_variable done_cv;
    std::deque<job> jobs;
    std::uint64_t queued = 0;
    std::uint64_t done = 0;
    bool started = false;
    std::thread::id thread_id;

    // The thread's own.
    std::unique_ptr<audio_output> out;
    std::unique_ptr<sound_mixer> mixer;
    std::map<sound_mixer::game_id, std::shared_ptr<game_sounds::state>> games;
};

sound_thread& the_sound_thread() {
    static auto* const t = new sound_thread;
    return *t;
}

void remember(const std::function<void(player_settings&)>& change) {
    if (!update_settings(settings_file(), change))
        std::fputs("tallowick: the settings could not be saved\n", stderr);
}

} // namespace

game_sounds::game_sounds(std::filesystem::path story,
                         std::function<void(const glkote::event&)> notify,
                         std::function<void(const std::string&)> tell)
    : own(std::make_shared<state>()) {
    own->story = std::move(story);
    own->notify = std::move(notify);
    own->tell = std::move(tell);
}

game_sounds::~game_sounds() {
    job j;
    j.kind = job::end_game;
    j.game = own.get();
    auto& thread = the_sound_thread();
    thread.push(std::move(j));
    thread.flush();
}

void game_sounds::update(std::int64_t generation, std::vector<glkote::sound_channel> channels) {
    job j;
    j.game = own.get();
    j.owner = own;
    j.generation = generation;
    j.channels = std::move(channels);
    the_sound_thread().push(std::move(j));
}

sound_controls sound_controls::kept_in(const player_settings& settings) {
    sound_controls c;
    c.heard = settings.game_sounds.value_or(true);
    c.level = std::clamp(settings.sound_level.value_or(0), softest_level, 0);
    c.described = settings.sound_descriptions.value_or(true);
    return c;
}

void sound_controls::keep_in(player_settings& settings) const {
    settings.game_sounds = heard;
    settings.sound_level = level;
    settings.sound_descriptions = described;
}

std::string sound_controls::change(chord::action_t control) {
    switch (control) {
    case chord::sounds_on_off:
        heard = !heard;
        return heard ? "Sounds on." : "Sounds off.";
    case chord::sounds_louder:
    case chord::sounds_softer: {
        bool louder = control == chord::sounds_louder;
        int was = level;
        level = std::clamp(was + (louder ? 1 : -1), softest_level, 0);
        if (level == was)
            return louder ? "Sounds at their loudest." : "Sounds at their softest.";
        return louder ? "Sounds louder." : "Sounds softer.";
    }
    case chord::descriptions_on_off:
        described = !described;
        return described ? "Descriptions on." : "Descriptions off.";
    default:
        return {};
    }
}

double sound_controls::gain() const {
    return std::pow(10.0, level * decibels_a_step / 20);
}

std::string control_sounds(chord::action_t control) {
    auto& c = player_controls();
    std::string said;
    sound_controls now;
    {
        std::lock_guard lock(c.mutex);
        said = c.now.change(control);
        now = c.now;
    }
    if (said.empty())
        return said;
    remember([&](player_settings& s) { now.keep_in(s); });
    job j;
    j.kind = job::controls_changed;
    the_sound_thread().push(std::move(j));
    return said;
}

bool sound_descriptions_on() {
    return current_controls().described;
}

} // namespace tw
