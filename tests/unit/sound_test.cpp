// The games' sounds: the rules against a recording output on a clock of the
// test's own, and SDL_mixer playing each of Glk's formats from a Blorb.
#include "core/sound/audio_output.h"
#include "core/sound/blorb_sounds.h"
#include "core/sound/sound.h"
#include "core/sound/sound_mixer.h"
#include "support.h"

#include <cmath>
#include <future>
#include <map>
#include <mutex>

namespace tw {
namespace {

using namespace std::chrono_literals;
using test::binary_dir;
using op = glkote::sound_op;

// Voices as they stand, and the device opened and closed.
class recording_output final : public audio_output {
  public:
    struct voice {
        std::string sound;
        std::int64_t repeats = 0;
        double gain = 0;
        bool paused = false, on = false;
    };
    std::map<int, voice> voices;
    std::vector<std::string> device;
    bool has_device = true;

    bool open(bool silent) override {
        device.push_back(silent ? "silent" : has_device ? "heard" : "none");
        return silent || has_device;
    }
    void close() override {
        device.push_back("closed");
        for (auto& [number, v] : voices)
            v.on = false;
    }
    std::shared_ptr<clip> decode(std::span<const unsigned char> bytes) override {
        auto decoded = std::make_shared<named>();
        decoded->name.assign(bytes.begin(), bytes.end());
        return decoded;
    }
    void play(int v, const clip& sound, std::int64_t repeats, double gain) override {
        voices[v] = {static_cast<const named&>(sound).name, repeats, gain, false, true};
    }
    void stop(int v) override { voices[v].on = false; }
    void pause(int v, bool paused) override { voices[v].paused = paused; }
    void set_gain(int v, double gain) override { voices[v].gain = gain; }
    bool playing(int v) override { return voices[v].on; }

  private:
    struct named : clip {
        std::string name;
    };
};

op play(std::uint32_t sound, std::int64_t repeats = 1, std::uint32_t notify = 0) {
    return {.sound = sound, .repeats = repeats, .notify = notify};
}

op request(op::kind_t kind, double volume = 1, std::uint32_t ms = 0, std::uint32_t notify = 0) {
    return {.kind = kind, .notify = notify, .volume = volume, .duration = ms};
}

// A Blorb whose sound N is "sound N", and which has no sound 404.
std::optional<std::vector<unsigned char>> blorb(std::uint32_t number) {
    if (number == 404)
        return std::nullopt;
    std::string name = "sound " + std::to_string(number);
    return std::vector<unsigned char>(name.begin(), name.end());
}

struct mixing {
    recording_output out;
    sound_mixer mixer{out};
    sound_clock::time_point now;
    int game = 0;

    void update(std::int64_t generation, std::vector<glkote::sound_channel> channels,
                const void* g = nullptr) {
        mixer.update(g ? g : &game, generation, channels, blorb, now);
    }
    // What the games were told, each as "channel:sound:notify@generation", or its notice.
    std::vector<std::string> told() {
        std::vector<std::string> all;
        for (auto& [game, n, notice] : mixer.take_told())
            all.push_back(!notice.empty() ? notice
                                          : std::to_string(n.channel) + ":" +
                                                std::to_string(n.sound) + ":" +
                                                std::to_string(n.notify) + "@" +
                                                std::to_string(n.gen.value_or(-1)));
        return all;
    }
    void ends(int voice) {
        out.voices[voice].on = false;
        mixer.voice_ended(voice);
    }
};

using texts = std::vector<std::string>;

TEST(SoundMixer, EachChannelIsAVoiceAndTheGameIsToldOfTheEndsItAskedFor) {
    mixing m;
    m.update(5, {{1, {play(3, 2, 7)}}, {2, {play(4, -1)}}});
    EXPECT_EQ(m.out.voices[0].sound, "sound 3");
    EXPECT_EQ(m.out.voices[0].repeats, 2);
    EXPECT_EQ(m.out.voices[1].repeats, -1);
    m.ends(0);
    EXPECT_EQ(m.told(), texts{"1:3:7@5"});

    // An end reported after the voice was given another sound is stale.
    m.update(6, {{1, {play(5, 1, 8)}}, {2, {}}});
    m.mixer.voice_ended(0);
    // Stopped, or its channel gone: no end is told.
    m.update(7, {{1, {request(op::stop)}}});
    EXPECT_FALSE(m.out.voices[1].on);
    m.ends(0);
    EXPECT_EQ(m.told(), texts{});

    // A paused channel keeps what it is given paused; a missing sound ends at once.
    m.update(8, {{1, {request(op::pause), play(6), play(404, 1, 9)}}});
    EXPECT_TRUE(m.out.voices[0].paused);
    EXPECT_EQ(m.told(), texts{"1:404:9@8"});
    m.update(9, {{1, {play(6), request(op::unpause)}}});
    EXPECT_FALSE(m.out.voices[0].paused);

    m.mixer.end_game(&m.game);
    EXPECT_FALSE(m.out.voices[0].on);
    EXPECT_EQ(m.out.device, (texts{"heard", "closed"}));
}

TEST(SoundMixer, VolumesFadeGiveWayToSpeechAndFollowThePlayersLevel) {
    mixing m;
    m.update(1, {{1, {play(3), request(op::change_volume, 0.5, 0, 9)}}});
    EXPECT_DOUBLE_EQ(m.out.voices[0].gain, 0.5);
    EXPECT_EQ(m.told(), texts{"1:0:9@1"});

    m.update(2, {{1, {request(op::change_volume, 1, 1000, 10)}}});
    EXPECT_TRUE(m.mixer.advance(m.now + 500ms));
    EXPECT_DOUBLE_EQ(m.out.voices[0].gain, 0.75);
    EXPECT_FALSE(m.mixer.advance(m.now + 1000ms));
    EXPECT_DOUBLE_EQ(m.out.voices[0].gain, 1);
    EXPECT_EQ(m.told(), texts{"1:0:10@2"});

    // A change under way gives way to the next, untold.
    m.update(3, {{1, {request(op::change_volume, 0, 2000, 11), request(op::change_volume, 0.8)}}});
    EXPECT_FALSE(m.mixer.advance(m.now + 3000ms));
    EXPECT_EQ(m.told(), texts{});

    m.mixer.set_speaking(true);
    EXPECT_DOUBLE_EQ(m.out.voices[0].gain, 0.8 * speaking_gain);
    m.mixer.set_level(0.5);
    m.mixer.set_speaking(false);
    EXPECT_DOUBLE_EQ(m.out.voices[0].gain, 0.4);
}

TEST(SoundMixer, SoundsOffOrNoDevicePlaySilentlyInTimeAndNoDeviceIsToldOncePerGame) {
    mixing m;
    m.update(1, {{1, {play(4, -1)}}});
    m.mixer.set_heard(false);
    m.mixer.set_heard(true);
    // What played starts again on each device.
    EXPECT_EQ(m.out.device, (texts{"heard", "closed", "silent", "closed", "heard"}));
    EXPECT_TRUE(m.out.voices[0].on);
    EXPECT_EQ(m.out.voices[0].sound, "sound 4");

    mixing none;
    none.out.has_device = false;
    int other_game = 0;
    none.update(1, {{1, {play(3)}}});
    none.update(2, {{1, {play(3, 1, 5)}}});
    none.update(1, {{1, {play(3)}}}, &other_game);
    EXPECT_EQ(none.out.device, (texts{"none", "silent"}));
    none.ends(0);
    EXPECT_EQ(none.told(), (texts{no_sound_device, no_sound_device, "1:3:5@2"}));
}

TEST(SoundControls, EachChordChangesOneControlIsToldAndIsKept) {
    player_settings kept;
    kept.sound_level = -12; // past the softest, from a file edited by hand
    auto c = sound_controls::kept_in(kept);
    EXPECT_EQ(c.level, -10);
    EXPECT_EQ(c.change(chord::sounds_softer), "Sounds at their softest.");
    EXPECT_EQ(c.change(chord::sounds_louder), "Sounds louder.");
    EXPECT_NEAR(c.gain(), std::pow(10.0, -27.0 / 20), 1e-9);
    EXPECT_EQ(c.change(chord::sounds_on_off), "Sounds off.");
    EXPECT_EQ(c.change(chord::descriptions_on_off), "Descriptions off.");
    EXPECT_EQ(c.change(chord::undo), "");
    c.keep_in(kept);
    EXPECT_EQ(std::tuple(kept.game_sounds, kept.sound_level, kept.sound_descriptions),
              std::tuple(std::optional(false), std::optional(-9), std::optional(false)));
    c = sound_controls::kept_in(kept);
    EXPECT_EQ(c.change(chord::sounds_on_off), "Sounds on.");
    EXPECT_EQ(c.change(chord::descriptions_on_off), "Descriptions on.");
    c.level = 0; // "Sounds at their loudest." there: test_sounds
    EXPECT_EQ(c.gain(), 1);
}

// Lantern Hall's Glulx build holds its bell as an AIFF and its music box's
// waltz as a module; the bell is also made an Ogg Vorbis stream.
TEST(SoundOutput, EachOfGlksFormatsIsReadFromTheBlorbAndPlayed) {
    blorb_sounds lantern(binary_dir / "stories" / "lantern.gblorb");
    auto bell = lantern.sound(3), waltz = lantern.sound(4);
    ASSERT_TRUE(bell && waltz);
    EXPECT_EQ(std::string(bell->begin(), bell->begin() + 4), "FORM");
    EXPECT_FALSE(lantern.sound(1)); // a picture
    EXPECT_FALSE(blorb_sounds(binary_dir / "stories" / "lantern.ulx").sound(3));
    std::string ogg = test::read_file(TALLOWICK_BELL_OGG);

    std::promise<void> ended;
    std::once_flag once;
    auto out = make_audio_output();
    out->on_end = [&](int) { std::call_once(once, [&] { ended.set_value(); }); };
    ASSERT_TRUE(out->open(true));
    auto aiff_clip = out->decode(*bell);
    EXPECT_TRUE(out->decode(*waltz));
    EXPECT_TRUE(out->decode({reinterpret_cast<const unsigned char*>(ogg.data()), ogg.size()}));
    ASSERT_TRUE(aiff_clip);
    out->play(0, *aiff_clip, 1, 1);
    EXPECT_EQ(ended.get_future().wait_for(30s), std::future_status::ready);
    EXPECT_FALSE(out->playing(0));
    out->close();
}

} // namespace
} // namespace tw
