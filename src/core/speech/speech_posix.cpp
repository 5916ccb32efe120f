// speech-dispatcher through libspeechd. Notes on the library (0.11), which
// shape this file:
// - SPD_MODE_SINGLE: requests and replies run on the calling thread. The
//   threaded mode reads replies on a thread of its own and can wait forever
//   for a reply that a broken socket will never deliver; we need no events.
// - spd_get_default_address (and spd_open2 with a null address) reads
//   SPEECHD_ADDRESS, else uses the user's runtime-dir socket. If nothing
//   listens there, spd_open2 with autospawn runs `speech-dispatcher
//   --spawn` for that address.
// - spd_say with "" leaves the connection waiting for a reply that never
//   comes; a text that is not valid UTF-8 is refused and every later
//   spd_say on that connection fails too.
// - Messages of priority SPD_MESSAGE queue behind each other; with SPD_TEXT
//   a new message cancels the one being spoken, so rapid texts are lost.
// - spd_cancel (CANCEL SELF) stops the message being spoken and removes this
//   connection's queued SPD_MESSAGE messages; spd_stop only stops the
//   current one and the queue plays on. No SPD_IMPORTANT is needed.
// - Requests are plain write()s: to a service that went away they raise
//   SIGPIPE, which would kill the program.
#include "core/speech/speech.h"

#include "core/text/utf8.h"

#include <libspeechd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>

namespace tw {
namespace {

// A reply slower than this means the service hangs; the connection is given
// up and a new one tried later, rather than blocking the speech thread.
constexpr int reply_timeout_seconds = 5;

bool is_blank(const std::string& text) {
    for (const char c : text)
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f')
            return false;
    return true;
}

bool is_socket(const char* path) {
    struct stat st;
    return path && ::stat(path, &st) == 0 && S_ISSOCK(st.st_mode);
}

// Blocks SIGPIPE on the calling (speech) thread only, so a write to a
// service that went away fails with EPIPE instead of killing the program,
// without changing how the rest of the program handles the signal.
void block_sigpipe() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

// Takes a SIGPIPE left pending by a failed write, so it cannot fire should
// the thread ever unblock it.
void drop_pending_sigpipe() {
    sigset_t pending;
    if (sigpending(&pending) != 0 || sigismember(&pending, SIGPIPE) != 1)
        return;
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    int taken = 0;
    sigwait(&set, &taken); // returns at once: the signal is pending
}

class speechd_backend final : public speech_backend {
  public:
    speechd_backend() = default;
    speechd_backend(const speechd_backend&) = delete;
    speechd_backend& operator=(const speechd_backend&) = delete;
    ~speechd_backend() override { close(); }

    bool say(const std::string& text) override {
        // Nothing to hear, and an empty text would hang the connection.
        if (is_blank(text))
            return true;
        const std::string clean = decode_utf8(text);
        const bool was_open = conn_ != nullptr;
        if (!conn_ && !open())
            return false;
        if (spd_say(conn_, SPD_MESSAGE, clean.c_str()) >= 0)
            return true;
        close();
        // An old connection may just have gone stale (the service was
        // restarted): one more try on a new one. A fresh one that fails at
        // once means the service is not there.
        if (!was_open || !open())
            return false;
        if (spd_say(conn_, SPD_MESSAGE, clean.c_str()) >= 0)
            return true;
        close();
        return false;
    }

    void cancel() override {
        if (!conn_)
            return;
        // A broken connection is closed, so the next say() opens a new one.
        if (spd_cancel(conn_) != 0 && conn_->stream == nullptr)
            close();
    }

    void set_voice(const voice& v) override {
        voice_ = v;
        if (conn_)
            apply_voice();
    }

  private:
    void apply_voice() {
        // Each setting the service refuses (an unknown synthesizer or voice)
        // leaves its default: speaking matters more than how.
        if (!voice_.module.empty())
            spd_set_output_module(conn_, voice_.module.c_str());
        if (!voice_.name.empty())
            spd_set_synthesis_voice(conn_, voice_.name.c_str());
        if (voice_.rate)
            spd_set_voice_rate(conn_, *voice_.rate);
        if (voice_.pitch)
            spd_set_voice_pitch(conn_, *voice_.pitch);
        if (voice_.volume)
            spd_set_volume(conn_, *voice_.volume);
    }

    bool open() {
        block_sigpipe();
        // The address SPEECHD_ADDRESS names, else the user's default socket.
        char* error = nullptr;
        SPDConnectionAddress* address = spd_get_default_address(&error);
        std::free(error);
        if (!address)
            return false;
        // Autospawn only for the user's default service: an explicit
        // SPEECHD_ADDRESS belongs to whoever set it (e.g. a test's private
        // service), and spawning a service with the system's settings at
        // that address would be wrong.
        const bool autospawn = std::getenv("SPEECHD_ADDRESS") == nullptr;
        // No socket, no service. Asking libspeechd anyway would leak a
        // little per attempt (it never frees its "Autospawn disabled" note).
        if (!autospawn && address->method == SPD_METHOD_UNIX_SOCKET &&
            !is_socket(address->unix_socket_name)) {
            SPDConnectionAddress__free(address);
            return false;
        }
        error = nullptr;
        conn_ =
            spd_open2("tallowick", "main", nullptr, SPD_MODE_SINGLE, address, autospawn, &error);
        SPDConnectionAddress__free(address);
        std::free(error);
        if (!conn_)
            return false;
        if (!conn_->stream) {
            // Connected, but the service hung up at once.
            close();
            return false;
        }
        const timeval timeout{reply_timeout_seconds, 0};
        setsockopt(conn_->socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        setsockopt(conn_->socket, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        apply_voice();
        return true;
    }

    void close() {
        if (!conn_)
            return;
        // spd_close() closes the socket but leaks the FILE read from it, and
        // after a broken reply libspeechd has already fclose()d that FILE,
        // socket included: closing the socket's number again could close a
        // descriptor another thread has opened since. So close through the
        // FILE if it is still there, and hand spd_close() no socket.
        if (conn_->stream) {
            std::fclose(conn_->stream);
            conn_->stream = nullptr;
        }
        conn_->socket = -1;
        spd_close(conn_);
        conn_ = nullptr;
        drop_pending_sigpipe();
    }

    SPDConnection* conn_ = nullptr;
    voice voice_;
};

} // namespace

std::unique_ptr<speech_backend> make_platform_speech() {
    return std::make_unique<speechd_backend>();
}

} // namespace tw
