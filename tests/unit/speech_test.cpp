// speak() against a recording backend, the screen reader's voice and rate,
// and speech-dispatcher's backend against services that cut, vanish or are
// not there.
#include "core/speech/preferences.h"
#include "core/speech/speech.h"
#include "support.h"

#include <condition_variable>
#include <cstring>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#define setenv(name, value, overwrite) _putenv_s(name, value)
#define unsetenv(name) _putenv_s(name, "")
#else
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace tw {
namespace {

using namespace test;
using events = std::vector<std::string>;

// What a recorder was asked, kept apart from it: the speech thread may
// destroy its backend while the test still reads.
struct record {
    std::mutex mutex;
    std::condition_variable changed;
    events seen;               // texts, "<cancel>", "<rate N>", "<braille TEXT>"
    bool ends_at_once = false; // else each text is said until this is set
    bool woken = false;
    bool cancel_hangs = false; // cancel() waits while set, as a hung service

    template <class T> void set(T& field, T value) {
        std::lock_guard lock(mutex);
        field = value;
        changed.notify_all();
    }
    // Once at least `n` events have been recorded, all of them.
    events wait_for(std::size_t n = 0) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return seen.size() >= n; });
        return seen;
    }
    void add(const std::string& event) {
        std::lock_guard lock(mutex);
        seen.push_back(event);
        changed.notify_all();
    }
};

class recorder final : public speech_backend {
  public:
    explicit recorder(std::shared_ptr<record> r) : r(std::move(r)) {}
    bool say(const std::string& text) override {
        r->add(text);
        return true;
    }
    text_ending wait_for_end() override {
        std::unique_lock lock(r->mutex);
        r->changed.wait(lock, [&] { return r->ends_at_once || r->woken; });
        return std::exchange(r->woken, false) ? text_ending::woken : text_ending::heard;
    }
    void wake() override { r->set(r->woken, true); }
    void cancel() override {
        r->add("<cancel>");
        std::unique_lock lock(r->mutex);
        r->changed.wait(lock, [&] { return !r->cancel_hangs; });
    }
    void set_voice(const voice& v) override {
        r->add("<rate " + std::to_string(v.rate.value_or(0)) + ">");
    }
    void braille(const std::string& text) override { r->add("<braille " + text + ">"); }

  private:
    std::shared_ptr<record> r;
};

// The speech thread lives as long as the process: each test speaks to a
// recorder of its own, and leaves one whose texts end at once.
class Speech : public testing::Test {
  protected:
    void SetUp() override {
        set_speech_backend(std::make_unique<recorder>(r));
        // Not this test's: the voice an earlier one left, given to the new backend.
        std::lock_guard lock(r->mutex);
        r->seen.clear();
    }
    void TearDown() override {
        unsetenv("SPEECHD_ADDRESS");
        r->set(r->ends_at_once, true);
        set_speech_backend(std::make_unique<recorder>(r));
    }
    // speech-dispatcher's backend, its service at `socket`.
    static void speech_dispatcher_at(const fs::path& socket) {
        setenv("SPEECHD_ADDRESS", ("unix_socket:" + socket.string()).c_str(), 1);
        set_speech_backend(nullptr);
    }

    std::shared_ptr<record> r = std::make_shared<record>();
};

// A cut piece said again: test_speech.
TEST_F(Speech, AStopOrAnInterruptionSilencesWhatIsSaidAndDropsWhatWaitsButNotANewVoice) {
    speak("one");
    speak("two");
    r->wait_for(1);
    speech_stop();
    speech_flush();
    EXPECT_EQ(r->wait_for(), (events{"one", "<cancel>"}));
    speak("three");
    r->wait_for(3);
    speak("queued");
    speak("");
    set_voice({.rate = 20});
    speak("now", true);
    r->wait_for(6);
    r->set(r->ends_at_once, true);
    speech_flush();
    speech_stop();
    speech_flush();
    EXPECT_EQ(r->wait_for(),
              (events{"one", "<cancel>", "three", "<rate 20>", "<cancel>", "now", "<cancel>"}));
}

TEST_F(Speech, ClosingSilencesDropsEverythingAndDoesNotWaitForAServiceThatHangs) {
    r->set(r->cancel_hangs, true);
    speak("one");
    speak("two");
    r->wait_for(1);
    EXPECT_FALSE(speech_close());
    speak("after");
    r->set(r->cancel_hangs, false);
    speech_flush();
    EXPECT_EQ(r->wait_for(), (events{"one", "<cancel>"}));
}

// Braille is remembered for the next run; Ctrl+B's words, shown either way,
// through NVDA's client: windows/screen_readers.
TEST_F(Speech, BrailleIsRememberedForTheNextRun) {
    r->set(r->ends_at_once, true);
    temp_dir dir;
    player_preferences(dir / "settings.json", dir / "orca.conf").toggle_braille();
    set_braille(false); // as the next run starts
    player_preferences(dir / "settings.json", dir / "orca.conf").voice_for_a_game();
    speak("one");
    speech_flush();
    EXPECT_EQ(r->wait_for(),
              (events{"<cancel>", "<braille Braille on.>", "Braille on.", "<braille one>", "one"}));
}

TEST_F(Speech, TheScreenReadersVoiceIsReadAsOrcaMapsItAndThePlayersRateFollowsIt) {
    temp_dir dir;
    write_file(dir / "orca.conf", R"({"general": {"startingProfile": ["Mine", "mine"],
        "voices": {"default": {"rate": 30.0}}},
        "profiles": {"mine": {"speechServerInfo": ["eSpeak NG", "espeak-ng"],
                              "voices": {"default": {"rate": 70.0, "average-pitch": 6,
                                  "gain": 9, "family": {"name": "en-gb"}}}}}})");
    std::string problem;
    auto read = [&](const fs::path& file) {
        auto v = orca_voice(file, problem).value_or(voice{{-1}});
        return std::tuple(v.rate, v.pitch, v.volume, v.module, v.name);
    };
    EXPECT_EQ(read(dir / "orca.conf"), std::tuple(42, 30, 100, "espeak-ng", "en-gb"));
    // What the file leaves out is what Orca sets then: rate 50, pitch 5, gain 10.
    write_file(dir / "plain.conf", R"({"general": {}})");
    EXPECT_EQ(read(dir / "plain.conf"), std::tuple(2, 10, 100, "", ""));
    EXPECT_FALSE(orca_voice(dir / "none", problem));
    EXPECT_TRUE(problem.empty());
    write_file(dir / "bad.conf", "{\"general\": ");
    EXPECT_FALSE(orca_voice(dir / "bad.conf", problem));
    EXPECT_NE(problem.find("could not be read"), std::string::npos);

    // Nothing chosen anywhere: the service's own rate.
    EXPECT_FALSE(offset_rate(std::nullopt, std::nullopt));
    EXPECT_EQ(offset_rate(42, std::nullopt), 42);
    EXPECT_EQ(offset_rate(std::nullopt, -20), -20);
    // Steps within the range: test_speech. At the top the offset stops
    // growing: one step back is heard, also after the screen reader sped
    // up, and a screen reader that slows down is followed.
    int offset = changed_rate_offset(90, std::nullopt, 3);
    EXPECT_EQ(offset_rate(90, offset), 100);
    EXPECT_EQ(offset_rate(50, offset), 60);
    EXPECT_EQ(offset_rate(90, changed_rate_offset(90, offset, -1)), 90);
    EXPECT_EQ(offset_rate(95, 30), 100);
    EXPECT_EQ(offset_rate(95, changed_rate_offset(95, 30, -1)), 90);
}

#ifndef _WIN32
// A speech-dispatcher of a few lines on a socket of its own, one connection
// at a time.
class fake_service {
  public:
    explicit fake_service(const fs::path& socket_path) {
        listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un where{};
        where.sun_family = AF_UNIX;
        std::strncpy(where.sun_path, socket_path.c_str(), sizeof where.sun_path - 1);
        EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&where), sizeof where), 0);
        EXPECT_EQ(::listen(listener, 4), 0);
    }
    ~fake_service() {
        ::close(client);
        ::close(listener);
    }
    // Takes the next connection; the one before is hung up.
    void accept() {
        ::close(client);
        client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        ASSERT_GE(client, 0);
        // A client that never sends what a test waits for fails it, not hangs it.
        const timeval patience{60, 0};
        ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    }
    void send(const std::string& text) {
        ASSERT_EQ(::send(client, text.data(), text.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(text.size()));
    }
    // Answers all up to the next SPEAK, and queues its text as message `id`.
    std::string next_text(int id) {
        for (std::string command = line(); command != "SPEAK"; command = line()) {
            if (command.empty())
                return "<hung up>";
            send("200 OK\r\n");
        }
        send("230 OK RECEIVING DATA\r\n");
        std::string text;
        for (std::string l = line(); l != "." && !l.empty(); l = line())
            text += (text.empty() ? "" : "\r\n") + l;
        send("225-" + std::to_string(id) + "\r\n225 OK MESSAGE QUEUED\r\n");
        return text;
    }

  private:
    // The client's next line, without its end; "" when it hung up.
    std::string line() {
        std::string l;
        for (char c; !l.ends_with("\r\n") && ::recv(client, &c, 1, 0) == 1;)
            l += c;
        return l.ends_with("\r\n") ? l.substr(0, l.size() - 2) : "";
    }

    int listener = -1;
    int client = -1;
};

// Priority, rate, stops and closing: through a real service in test_speech.
TEST_F(Speech, SpeechDispatcherIsFedOneTextAtATimeEscapedAndAgainOnANewConnection) {
    temp_dir dir;
    fake_service service(dir / "s.sock");
    speech_dispatcher_at(dir / "s.sock");
    speak("one");
    speak(".two\n.three");
    service.accept();
    EXPECT_EQ(service.next_text(7), "one");
    // Cut before its end; an event of another text of ours changes nothing.
    service.send("702-3\r\n702-1\r\n702 END\r\n");
    service.send("703-7\r\n703-1\r\n703 CANCELED\r\n");
    EXPECT_EQ(service.next_text(8), "one");
    service.send("701-8\r\n701-1\r\n701 BEGIN\r\n702-8\r\n702-1\r\n702 END\r\n");
    // A dot that starts the text doubled, as the protocol wants.
    EXPECT_EQ(service.next_text(9), "..two\n.three");
    // Dropped by the service without an event (it has told a BEGIN before),
    // twice running: taken back and handed over again each time.
    EXPECT_EQ(service.next_text(10), "..two\n.three");
    EXPECT_EQ(service.next_text(11), "..two\n.three");
    // A service that goes away mid-text: said again on a new connection.
    service.accept();
    EXPECT_EQ(service.next_text(1), "..two\n.three");
    service.send("702-1\r\n702-1\r\n702 END\r\n");
    speech_flush();
}
#endif

TEST_F(Speech, AServiceThatCannotBeReachedIsToldOnceOnStandardError) {
#ifdef _WIN32 // there it is SAPI 5 under Wine, whose Speak fails (E_NOTIMPL)
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
        GTEST_SKIP() << "SAPI 5 speaks on Windows itself";
#endif
    temp_dir dir;
    speech_dispatcher_at(dir / "none.sock");
    testing::internal::CaptureStderr(); // the descriptor, so the speech thread's lines too
    speak("one");
    speak("two");
    speech_flush();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "tallowick: the speech service cannot be reached; texts are dropped until it can\n");
}

} // namespace
} // namespace tw
