// The speech layer. The queue's rules are checked against a recording
// backend; the speech-dispatcher backend against a private service
// (tests/tools/private-speechd) whose voice writes every utterance to a
// file. The speech singleton lives for the whole process, so every test
// installs the backend it needs first and leaves a silent one behind.
// Waits are for events (a text reaching a backend or the log), polled
// with a generous overall deadline, never for a fixed time.
#include "speech/speech.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tw {
namespace {

namespace fs = std::filesystem;

const std::string private_speechd = TALLOWICK_SOURCE_DIR "/tests/tools/private-speechd";

// Long enough for a loaded machine; only reached when something is broken.
constexpr auto deadline = std::chrono::seconds(30);

// What a recorder saw, shared with the test after the speech layer has
// taken the recorder itself.
struct record {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> events; // "say:TEXT" or "cancel"
    bool hold = false;               // say() waits while this is set
    bool holding = false;            // a say() is waiting
    bool fail = false;               // say() reports the service unreachable
    int says = 0;

    std::vector<std::string> snapshot() {
        std::lock_guard lock(mutex);
        return events;
    }
    void release() {
        {
            std::lock_guard lock(mutex);
            hold = false;
        }
        changed.notify_all();
    }
    void wait_holding() {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, deadline, [&] { return holding; }));
    }
};

class recorder final : public speech_backend {
  public:
    explicit recorder(std::shared_ptr<record> r) : r_(std::move(r)) {}
    bool say(const std::string& text) override {
        std::unique_lock lock(r_->mutex);
        ++r_->says;
        if (r_->fail)
            return false;
        r_->events.push_back("say:" + text);
        if (r_->hold) {
            r_->holding = true;
            r_->changed.notify_all();
            r_->changed.wait(lock, [&] { return !r_->hold; });
            r_->holding = false;
        }
        return true;
    }
    void cancel() override {
        std::lock_guard lock(r_->mutex);
        r_->events.push_back("cancel");
    }

  private:
    std::shared_ptr<record> r_;
};

std::shared_ptr<record> install_recorder() {
    auto r = std::make_shared<record>();
    set_speech_backend(std::make_unique<recorder>(r));
    return r;
}

// Leaves a backend that says nothing, so whatever runs next in this process
// does not talk to a service a test has stopped.
struct silent_afterwards {
    ~silent_afterwards() { install_recorder(); }
};

// Sets an environment variable for the test's lifetime.
struct env_guard {
    std::string name;
    std::optional<std::string> old;
    env_guard(std::string n, const std::string& value) : name(std::move(n)) {
        if (const char* v = std::getenv(name.c_str()))
            old = v;
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    ~env_guard() {
        if (old)
            ::setenv(name.c_str(), old->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
};

// Sends everything the process writes to stderr (fd 2, any thread) into a
// file until read().
class stderr_capture {
  public:
    explicit stderr_capture(const fs::path& file) : file_(file) {
        std::fflush(stderr);
        saved_ = ::dup(2);
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 2);
        ::close(fd);
    }
    ~stderr_capture() { restore(); }
    std::string read() {
        restore();
        std::ifstream in(file_, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

  private:
    void restore() {
        if (saved_ < 0)
            return;
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        saved_ = -1;
    }
    fs::path file_;
    int saved_ = -1;
};

std::size_t count_of(const std::string& haystack, const std::string& needle) {
    std::size_t n = 0;
    for (auto at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + needle.size()))
        ++n;
    return n;
}

struct temp_dir {
    fs::path path;
    temp_dir() {
        std::string pattern = (fs::temp_directory_path() / "tallowick-speech-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        if (!made)
            throw std::runtime_error("mkdtemp failed");
        path = fs::canonical(made);
    }
    ~temp_dir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

// ---- the queue, against a recorder ----

TEST(Speech, TextsArriveInOrderAndFlushWaitsForThem) {
    silent_afterwards after;
    auto r = install_recorder();
    for (int i = 0; i < 20; ++i)
        speak("line " + std::to_string(i));
    speech_flush();
    std::vector<std::string> want;
    for (int i = 0; i < 20; ++i)
        want.push_back("say:line " + std::to_string(i));
    EXPECT_EQ(r->snapshot(), want);
}

TEST(Speech, EmptyTextDoesNothing) {
    silent_afterwards after;
    auto r = install_recorder();
    speak("");
    speak("", true);
    speech_flush();
    EXPECT_TRUE(r->snapshot().empty());
    speak("x");
    speech_flush();
    EXPECT_EQ(r->snapshot(), std::vector<std::string>{"say:x"});
}

TEST(Speech, TwoThreadsEachKeepTheirOrder) {
    silent_afterwards after;
    auto r = install_recorder();
    auto talk = [](char who) {
        for (int i = 0; i < 50; ++i)
            speak(std::string(1, who) + " " + std::to_string(i));
    };
    std::thread a(talk, 'a');
    std::thread b(talk, 'b');
    a.join();
    b.join();
    speech_flush();
    const auto events = r->snapshot();
    ASSERT_EQ(events.size(), 100u);
    int next_a = 0;
    int next_b = 0;
    for (const auto& e : events) {
        if (e.rfind("say:a ", 0) == 0)
            EXPECT_EQ(e, "say:a " + std::to_string(next_a++));
        else
            EXPECT_EQ(e, "say:b " + std::to_string(next_b++));
    }
    EXPECT_EQ(next_a, 50);
    EXPECT_EQ(next_b, 50);
}

TEST(Speech, InteruptDropsWhatIsQueuedAndCancels) {
    silent_afterwards after;
    auto r = install_recorder();
    r->hold = true;
    speak("one");
    // "one" is now with the backend; the rest waits in the queue.
    r->wait_holding();
    speak("two");
    speak("three");
    speak("four", true);
    r->release();
    speech_flush();
    EXPECT_EQ(r->snapshot(), (std::vector<std::string>{"say:one", "cancel", "say:four"}));
}

TEST(Speech, InteruptWithNothingQueuedStillCancels) {
    silent_afterwards after;
    auto r = install_recorder();
    speak("a");
    speech_flush();
    speak("b", true);
    speech_flush();
    EXPECT_EQ(r->snapshot(), (std::vector<std::string>{"say:a", "cancel", "say:b"}));
}

TEST(Speech, TextsBeforeABackendSwitchGoToTheOldBackend) {
    silent_afterwards after;
    auto first = install_recorder();
    speak("old");
    auto second = install_recorder();
    speak("new");
    speech_flush();
    EXPECT_EQ(first->snapshot(), std::vector<std::string>{"say:old"});
    EXPECT_EQ(second->snapshot(), std::vector<std::string>{"say:new"});
}

TEST(Speech, FailureIsReportedOnceAndNeverThrown) {
    silent_afterwards after;
    temp_dir dir;
    auto r = std::make_shared<record>();
    r->fail = true;
    stderr_capture capture(dir.path / "stderr");
    set_speech_backend(std::make_unique<recorder>(r));
    for (int i = 0; i < 10; ++i)
        EXPECT_NO_THROW(speak("lost " + std::to_string(i)));
    speech_flush();
    const std::string err = capture.read();
    EXPECT_EQ(count_of(err, "speech service cannot be reached"), 1u) << err;
    // Tried at least once; while it is down the rest may be dropped unasked.
    std::lock_guard lock(r->mutex);
    EXPECT_GE(r->says, 1);
}

TEST(Speech, BackendThatThrowsDoesNotStopSpeech) {
    silent_afterwards after;
    struct thrower final : speech_backend {
        bool say(const std::string&) override { throw std::runtime_error("boom"); }
        void cancel() override {}
    };
    temp_dir dir;
    stderr_capture capture(dir.path / "stderr");
    set_speech_backend(std::make_unique<thrower>());
    EXPECT_NO_THROW(speak("x"));
    speech_flush();
    capture.read();
    auto r = install_recorder();
    speak("y");
    speech_flush();
    EXPECT_EQ(r->snapshot(), std::vector<std::string>{"say:y"});
}

// ---- speech-dispatcher, against a private service ----

bool have_speech_dispatcher() {
    return std::system("command -v speech-dispatcher >/dev/null 2>&1") == 0;
}

// A private speech-dispatcher in a fresh directory; stopped and removed at
// the end.
class private_service {
  public:
    private_service() = default;
    ~private_service() { stop(); }

    // Starts the service; returns its SPEECHD_ADDRESS, or "" on failure.
    std::string start() {
        const std::string cmd = "'" + private_speechd + "' start '" + dir_.path.string() + "'";
        FILE* out = ::popen(cmd.c_str(), "r");
        if (!out)
            return "";
        std::string line;
        char buf[4096];
        while (std::fgets(buf, sizeof buf, out))
            line += buf;
        if (::pclose(out) != 0)
            return "";
        while (!line.empty() && line.back() == '\n')
            line.pop_back();
        running_ = true;
        return line;
    }

    void stop() {
        if (!running_)
            return;
        const std::string cmd = "'" + private_speechd + "' stop '" + dir_.path.string() + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        running_ = false;
    }

    const fs::path& dir() const { return dir_.path; }

    // The lines of spoken.log so far.
    std::vector<std::string> spoken() const {
        std::ifstream in(dir_.path / "spoken.log", std::ios::binary);
        std::vector<std::string> lines;
        for (std::string l; std::getline(in, l);)
            lines.push_back(l);
        return lines;
    }

    // Polls spoken.log until `done` holds for its lines; false if the
    // deadline passes first.
    bool wait_spoken(const std::function<bool(const std::vector<std::string>&)>& done) const {
        const auto until = std::chrono::steady_clock::now() + deadline;
        while (!done(spoken())) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    bool wait_for_line(const std::string& line) const {
        return wait_spoken([&](const std::vector<std::string>& lines) {
            return std::find(lines.begin(), lines.end(), line) != lines.end();
        });
    }

  private:
    temp_dir dir_;
    bool running_ = false;
};

class SpeechDispatcher : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!have_speech_dispatcher())
            GTEST_SKIP() << "speech-dispatcher is not installed";
        address_ = service_.start();
        ASSERT_FALSE(address_.empty()) << "private-speechd did not start";
        // The speech thread is idle after a flush, so the environment can
        // change under nobody; the new backend connects on its first text.
        speech_flush();
        env_.emplace("SPEECHD_ADDRESS", address_);
        set_speech_backend(make_platform_speech());
    }
    void TearDown() override {
        speech_flush();
        install_recorder();
        env_.reset();
    }

    private_service service_;
    std::string address_;
    std::optional<env_guard> env_;
};

TEST_F(SpeechDispatcher, RapidTextsFromTwoThreadsAllArriveWholeAndInOrder) {
    auto talk = [](char who) {
        for (int i = 0; i < 50; ++i)
            speak(std::string(1, who) + " says: it's line " + std::to_string(i) +
                  ". Really, \"quoted\"!");
    };
    std::thread a(talk, 'a');
    std::thread b(talk, 'b');
    a.join();
    b.join();
    speech_flush();
    ASSERT_TRUE(service_.wait_spoken([](const auto& lines) { return lines.size() >= 100; }))
        << service_.spoken().size() << " of 100 arrived";
    const auto lines = service_.spoken();
    ASSERT_EQ(lines.size(), 100u);
    int next_a = 0;
    int next_b = 0;
    for (const auto& l : lines) {
        if (l.rfind("a ", 0) == 0)
            EXPECT_EQ(l, "a says: it's line " + std::to_string(next_a++) + ". Really, \"quoted\"!");
        else
            EXPECT_EQ(l, "b says: it's line " + std::to_string(next_b++) + ". Really, \"quoted\"!");
    }
    EXPECT_EQ(next_a, 50);
    EXPECT_EQ(next_b, 50);
}

TEST_F(SpeechDispatcher, EmptyAndBlankTextsSendNothing) {
    speak("");
    speak("  \n ");
    speak("after");
    speech_flush();
    ASSERT_TRUE(service_.wait_for_line("after"));
    EXPECT_EQ(service_.spoken(), std::vector<std::string>{"after"});
}

TEST_F(SpeechDispatcher, TextsArriveUnchanged) {
    // The log escapes \ as \\ and a newline as \n (see private-speechd).
    speak("It's \"odd\": $HOME `date` \\ <b>&amp; caf\xc3\xa9 \xe6\x97\xa5");
    speak("two\nlines");
    // Not UTF-8: the service would refuse it and then everything after it.
    speak("bad \xff byte");
    speak("end");
    speech_flush();
    ASSERT_TRUE(service_.wait_for_line("end"));
    EXPECT_EQ(service_.spoken(),
              (std::vector<std::string>{
                  "It's \"odd\": $HOME `date` \\\\ <b>&amp; caf\xc3\xa9 \xe6\x97\xa5",
                  "two\\nlines", "bad \xef\xbf\xbd byte", "end"}));
}

// Holds the private service's gate (see private-speechd): while held, its
// voice stays on the text it is "speaking".
class gate_lock {
  public:
    explicit gate_lock(fs::path file) : file_(std::move(file)) {
        fd_ = ::open(file_.c_str(), O_RDWR | O_CREAT, 0600);
        if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~gate_lock() { release(); }
    bool held() const { return fd_ >= 0; }
    void release() {
        if (fd_ < 0)
            return;
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
        std::error_code ec;
        fs::remove(file_, ec);
    }

  private:
    fs::path file_;
    int fd_ = -1;
};

TEST_F(SpeechDispatcher, InteruptCancelsWhatTheServiceHasQueued) {
    gate_lock gate(service_.dir() / "gate");
    ASSERT_TRUE(gate.held());
    speak("one");
    ASSERT_TRUE(service_.wait_for_line("one"));
    speak("two");
    speak("three");
    // Both are now queued in the service, not just in our queue.
    speech_flush();
    speak("four", true);
    speech_flush();
    gate.release();
    speak("five");
    ASSERT_TRUE(service_.wait_for_line("five"));
    EXPECT_EQ(service_.spoken(), (std::vector<std::string>{"one", "four", "five"}));
}

TEST_F(SpeechDispatcher, ServiceRestartIsSurvived) {
    speak("before");
    ASSERT_TRUE(service_.wait_for_line("before"));
    service_.stop();
    ASSERT_FALSE(service_.start().empty());
    // The old connection is dead; writing to it must not kill us (SIGPIPE),
    // and the text goes over a new one.
    speak("after");
    ASSERT_TRUE(service_.wait_for_line("after"));
    EXPECT_EQ(service_.spoken(), std::vector<std::string>{"after"});
}

TEST_F(SpeechDispatcher, ServiceStartedLaterIsPickedUp) {
    service_.stop();
    temp_dir other;
    stderr_capture capture(other.path / "stderr");
    speak("early");
    speech_flush();
    ASSERT_FALSE(service_.start().empty());
    // Dropped texts are not retried; keep talking until one gets through.
    int n = 0;
    ASSERT_TRUE(service_.wait_spoken([&](const auto& lines) {
        speak("probe " + std::to_string(n++));
        return !lines.empty();
    })) << "never reconnected";
    const auto lines = service_.spoken();
    EXPECT_EQ(lines.front().rfind("probe ", 0), 0u) << lines.front();
    const std::string err = capture.read();
    EXPECT_EQ(count_of(err, "speech service cannot be reached"), 1u) << err;
}

TEST(SpeechDispatcherAbsent, UnreachableServiceIsReportedOnceAndNeverThrown) {
    silent_afterwards after;
    temp_dir dir;
    speech_flush();
    env_guard env("SPEECHD_ADDRESS", "unix_socket:" + (dir.path / "no-such.sock").string());
    stderr_capture capture(dir.path / "stderr");
    set_speech_backend(make_platform_speech());
    for (int i = 0; i < 10; ++i)
        EXPECT_NO_THROW(speak("unheard " + std::to_string(i)));
    EXPECT_NO_THROW(speak("unheard", true));
    speech_flush();
    const std::string err = capture.read();
    EXPECT_EQ(count_of(err, "speech service cannot be reached"), 1u) << err;
    // No service was spawned at the address we named.
    EXPECT_FALSE(fs::exists(dir.path / "no-such.sock"));
}

} // namespace
} // namespace tw
