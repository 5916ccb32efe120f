// speak(): its queue against a recording backend, the screen reader's voice,
// and a service that cannot be reached. (The black-box tests hear every
// utterance through a private speech-dispatcher.) The speech thread lives
// for the whole process, so each test installs the backend it needs.
#include "core/speech/speech.h"
#include "support.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#define setenv(name, value, overwrite) _putenv_s(name, value)
#define unsetenv(name) _putenv_s(name, "")
#endif

namespace tw {
namespace {

using namespace test;

struct record {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> events; // "TEXT" or "<cancel>"
    bool hold = false;               // say() waits while set
    bool holding = false;
};

class recorder final : public speech_backend {
  public:
    explicit recorder(std::shared_ptr<record> r) : r(std::move(r)) {}
    bool say(const std::string& text) override {
        std::unique_lock lock(r->mutex);
        r->events.push_back(text);
        r->holding = true;
        r->changed.notify_all();
        r->changed.wait(lock, [&] { return !r->hold; });
        r->holding = false;
        return true;
    }
    void cancel() override {
        std::lock_guard lock(r->mutex);
        r->events.push_back("<cancel>");
    }
    void set_voice(const voice& v) override {
        std::lock_guard lock(r->mutex);
        r->events.push_back("<rate " + std::to_string(v.rate.value_or(0)) + ">");
    }

  private:
    std::shared_ptr<record> r;
};

TEST(Speech, AStopOrAnInterruptionDropsWhatWaitsButNotANewVoice) {
    auto r = std::make_shared<record>();
    r->hold = true;
    set_speech_backend(std::make_unique<recorder>(r));
    speak("first");
    {
        std::unique_lock lock(r->mutex);
        r->changed.wait(lock, [&] { return r->holding; });
    }
    speak("queued");
    speak("");
    voice faster;
    faster.rate = 20;
    set_voice(faster);
    speak("now", true);
    {
        std::lock_guard lock(r->mutex);
        r->hold = false;
    }
    r->changed.notify_all();
    speech_flush();
    speech_stop();
    speech_flush();
    EXPECT_EQ(r->events,
              (std::vector<std::string>{"first", "<rate 20>", "<cancel>", "now", "<cancel>"}));
}

TEST(Speech, TheScreenReadersVoiceIsReadAsOrcaMapsIt) {
    temp_dir dir;
    write_file(dir / "orca.conf", R"({"general": {"startingProfile": ["Mine", "mine"],
        "voices": {"default": {"rate": 30.0}}},
        "profiles": {"mine": {"speechServerInfo": ["eSpeak NG", "espeak-ng"],
                              "voices": {"default": {"rate": 70.0, "average-pitch": 6,
                                  "gain": 9, "family": {"name": "en-gb"}}}}}})");
    std::string problem;
    auto v = orca_voice(dir / "orca.conf", problem);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->rate, 42);
    EXPECT_EQ(v->pitch, 30);
    EXPECT_EQ(v->volume, 100);
    EXPECT_EQ(v->module, "espeak-ng");
    EXPECT_EQ(v->name, "en-gb");
    // What the file leaves out is what Orca sets then: rate 50, pitch 5, gain 10.
    write_file(dir / "plain.conf", R"({"general": {}})");
    v = orca_voice(dir / "plain.conf", problem);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->rate, 2);
    EXPECT_EQ(v->pitch, 10);
    EXPECT_EQ(v->volume, 100);
    EXPECT_FALSE(orca_voice(dir / "none", problem));
    EXPECT_TRUE(problem.empty());
    write_file(dir / "bad.conf", "{\"general\": ");
    EXPECT_FALSE(orca_voice(dir / "bad.conf", problem));
    EXPECT_NE(problem.find("could not be read"), std::string::npos);
}

TEST(Speech, ThePlayersRateFollowsTheScreenReadersWithTheirOffset) {
    // Nothing chosen anywhere: the service's own rate.
    EXPECT_FALSE(offset_rate(std::nullopt, std::nullopt));
    EXPECT_EQ(offset_rate(42, std::nullopt), 42);
    EXPECT_EQ(offset_rate(std::nullopt, -20), -20);
    // Two steps faster than the screen reader, who then slows down.
    int offset = changed_rate_offset(10, std::nullopt, 2);
    EXPECT_EQ(offset, 20);
    EXPECT_EQ(offset_rate(10, offset), 30);
    EXPECT_EQ(offset_rate(-40, offset), -20);
    // At the top the offset stops growing, so one step back is heard.
    offset = changed_rate_offset(90, std::nullopt, 3);
    EXPECT_EQ(offset_rate(90, offset), 100);
    EXPECT_EQ(offset_rate(90, changed_rate_offset(90, offset, -1)), 90);
    EXPECT_EQ(offset_rate(95, 30), 100);
}

TEST(Speech, AServiceThatCannotBeReachedIsToldOnceOnStandardError) {
#ifdef _WIN32 // there it is SAPI 5 under Wine, whose Speak fails (E_NOTIMPL)
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
        GTEST_SKIP() << "SAPI 5 speaks on Windows itself";
#endif
    temp_dir dir;
    setenv("SPEECHD_ADDRESS", ("unix_socket:" + (dir / "none.sock").string()).c_str(), 1);
    set_speech_backend(nullptr);
    testing::internal::CaptureStderr(); // the descriptor, so the speech thread's lines too
    speak("one");
    speak("two");
    speech_flush();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "tallowick: the speech service cannot be reached; texts are dropped until it can\n");
    unsetenv("SPEECHD_ADDRESS");
    set_speech_backend(std::make_unique<recorder>(std::make_shared<record>()));
}

} // namespace
} // namespace tw
