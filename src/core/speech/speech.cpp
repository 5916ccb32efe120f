#include "core/speech/speech.h"

#include "core/platform/platform.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace tw {
namespace {

// After the service could not be reached, texts are dropped for this long
// before the backend is asked again: a service that is down must not cost a
// connection attempt per line of output, and one started later is still
// picked up.
constexpr auto retry_interval = std::chrono::seconds(3);

// How long leaving waits for the service to confirm it dropped our speech.
// A round trip takes a millisecond; a service that hangs gets no more.
constexpr auto close_bound = std::chrono::milliseconds(500);

// A piece cut this many times running is given up: only another program
// that speaks as we do (and says its own cut text again) cuts that often,
// and two such must not cut each other for ever.
constexpr int most_cuts = 25;

// One entry of the queue: a text to say (after silencing what is said, with
// `interrupt`; an empty text only silences), a voice to speak with, braille
// on or off, a backend to switch to (kept in line so texts queued before a switch still
// go to the old backend), or the end of speech (`close`).
struct job {
    std::uint64_t seq = 0;
    std::string text;
    bool interrupt = false;
    bool close = false;
    std::optional<voice> new_voice;
    std::optional<bool> braille;
    bool swap = false; // a switch to `backend` (null: the platform's, made on first use)
    std::unique_ptr<speech_backend> backend;
};

// A job the speech thread must not wait behind the text being said for.
bool is_urgent(const job& j) {
    return j.interrupt || j.close || j.swap;
}

class speaker {
  public:
    void push(job j) {
        {
            std::lock_guard lock(mutex_);
            if (!push_locked(std::move(j)))
                return;
        }
        work_cv_.notify_one();
    }

    void flush() {
        std::unique_lock lock(mutex_);
        // The speech thread waiting for itself would never wake.
        if (!started_ || std::this_thread::get_id() == thread_id_)
            return;
        const auto target = queued_;
        done_cv_.wait(lock, [&] { return done_ >= target; });
    }

    bool close() {
        std::unique_lock lock(mutex_);
        if (!started_) {
            // Never spoke: no connection, nothing held by the service.
            closed_ = true;
            return true;
        }
        if (std::this_thread::get_id() == thread_id_)
            return false;
        if (!closed_) {
            job j;
            j.interrupt = true;
            j.close = true;
            push_locked(std::move(j));
            close_seq_ = queued_;
            work_cv_.notify_one();
        }
        const auto target = close_seq_;
        return done_cv_.wait_for(lock, close_bound, [&] { return done_ >= target; });
    }

    void listen(std::function<void(bool)> listener) {
        std::lock_guard lock(mutex_);
        listener_ = std::move(listener);
        // A listener that comes while Tallowick speaks hears so at once.
        if (listener_)
            listener_(speaking_);
    }

  private:
    bool push_locked(job j) {
        // After close only a new backend (a test's) opens speech again.
        if (closed_ && !j.swap)
            return false;
        if (j.swap)
            closed_ = false;
        if (j.close)
            closed_ = true;
        j.seq = ++queued_;
        if (j.interrupt) {
            // Only texts and stops are dropped; a pending switch of backend,
            // voice or braille still happens.
            std::erase_if(queue_, [this](const job& q) {
                const bool drop = !q.swap && !q.new_voice && !q.braille && !q.close;
                if (drop && is_urgent(q))
                    --urgent_;
                return drop;
            });
        }
        if (is_urgent(j)) {
            ++urgent_;
            // The speech thread may be waiting for the end of a text.
            if (waiting_)
                waiting_->wake();
        }
        queue_.push_back(std::move(j));
        return start_locked();
    }

    // Starts the speech thread on first use. It is detached and the speaker
    // is never destroyed, so nothing has to be torn down at exit while the
    // thread may still be inside the backend.
    bool start_locked() {
        if (started_)
            return true;
        try {
            std::thread t([this] {
                name_this_thread("Speech");
                run();
            });
            thread_id_ = t.get_id();
            t.detach();
            started_ = true;
            return true;
        } catch (...) {
            // No thread, no speech; forget the queue so flush() cannot hang,
            // and try again with the next text.
            std::fputs("tallowick: cannot start the speech thread\n", stderr);
            queue_.clear();
            urgent_ = 0;
            done_ = queued_;
            return false;
        }
    }

    void run() {
        for (;;) {
            job j;
            {
                std::unique_lock lock(mutex_);
                work_cv_.wait(lock, [&] { return !queue_.empty(); });
                j = std::move(queue_.front());
                queue_.pop_front();
                if (is_urgent(j))
                    --urgent_;
            }
            handle(j);
            // The old backend of a switch dies here, on this thread, before
            // anyone is told the switch is done.
            j.backend.reset();
            bool silent;
            {
                std::lock_guard lock(mutex_);
                done_ = j.seq;
                silent = queue_.empty();
            }
            done_cv_.notify_all();
            if (silent)
                tell_speaking(false);
        }
    }

    void handle(job& j) {
        if (j.swap) {
            std::swap(backend_, j.backend);
            failing_ = false;
            if (backend_ && voice_)
                backend_->set_voice(*voice_);
            return;
        }
        if (j.new_voice) {
            voice_ = std::move(j.new_voice);
            if (backend_)
                backend_->set_voice(*voice_);
            return;
        }
        if (j.braille) {
            braille_ = *j.braille;
            return;
        }
        if (j.close || j.text.empty()) {
            // Silence only: nothing to connect for, and no sign that a
            // service that was down is back. Closing also lets go of the
            // connection, so that the service forgets us before we leave.
            try {
                if (j.interrupt && backend_)
                    backend_->cancel();
            } catch (...) {
            }
            if (j.close)
                backend_.reset();
            return;
        }
        if (failing_ && std::chrono::steady_clock::now() < retry_at_)
            return;
        bool ok = false;
        try {
            if (!backend_) {
                backend_ = make_platform_speech();
                if (backend_ && voice_)
                    backend_->set_voice(*voice_);
            }
            if (backend_) {
                if (j.interrupt)
                    backend_->cancel();
                ok = say_to_the_end(j.text);
            }
        } catch (...) {
            // A backend that throws is a backend that failed; the speech
            // thread must survive it.
            ok = false;
        }
        if (ok) {
            failing_ = false;
            return;
        }
        if (!failing_) {
            // Once per outage: the player hears nothing, so say why, but do
            // not fill the log with one line per text.
            std::fputs("tallowick: the speech service cannot be reached; texts are dropped "
                       "until it can\n",
                       stderr);
            std::fflush(stderr);
        }
        failing_ = true;
        // Counted from now, not from when the text came: a hung service
        // that took its time to fail must not be asked again at once.
        retry_at_ = std::chrono::steady_clock::now() + retry_interval;
    }

    // Says `text` and stays with it until it has been heard, saying it again
    // whole when other speech cut it, or until an urgent job comes. False
    // when the service cannot be reached.
    bool say_to_the_end(const std::string& text) {
        if (backend_->tells_end())
            tell_speaking(true);
        // Once, however often the text is said again: the display keeps it.
        if (braille_)
            backend_->braille(text);
        int cuts = 0;
        bool lost_before = false;
        for (;;) {
            if (!backend_->say(text))
                return false;
            switch (wait_for_end()) {
            case text_ending::heard:
            case text_ending::woken:
                return true;
            case text_ending::cut:
                if (++cuts >= most_cuts)
                    return true;
                break;
            case text_ending::lost:
                // Once more: on a new connection to a restarted service, or
                // after a synthesizer that hung was stopped.
                if (lost_before)
                    return false;
                lost_before = true;
                break;
            }
        }
    }

    text_ending wait_for_end() {
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                if (urgent_ > 0)
                    return text_ending::woken;
                waiting_ = backend_.get();
            }
            // Cleared however the wait ends: push() must never wake a backend
            // that may be gone.
            struct not_waiting {
                speaker& s;
                ~not_waiting() {
                    std::lock_guard lock(s.mutex_);
                    s.waiting_ = nullptr;
                }
            } guard{*this};
            const auto ending = backend_->wait_for_end();
            // A wake meant for an earlier wait is no reason to stop.
            if (ending != text_ending::woken)
                return ending;
        }
    }

    // Under the lock, so that a listener being set hears every change, in
    // order.
    void tell_speaking(bool now) {
        std::lock_guard lock(mutex_);
        if (now == speaking_)
            return;
        speaking_ = now;
        if (listener_)
            listener_(now);
    }

    std::mutex mutex_;
    std::condition_variable work_cv_;
    std::condition_variable done_cv_;
    std::deque<job> queue_;
    std::uint64_t queued_ = 0;    // seq of the last job pushed
    std::uint64_t done_ = 0;      // seq of the last job finished; all before it are gone
    std::uint64_t close_seq_ = 0; // seq of the job that closed speech
    int urgent_ = 0;              // urgent jobs in `queue_`
    bool closed_ = false;
    bool started_ = false;
    std::thread::id thread_id_;
    speech_backend* waiting_ = nullptr; // the backend in wait_for_end(), if any
    std::function<void(bool)> listener_;
    bool speaking_ = false; // as last told

    // Used by the speech thread only.
    std::unique_ptr<speech_backend> backend_;
    std::optional<voice> voice_;
    bool braille_ = false;
    bool failing_ = false;
    std::chrono::steady_clock::time_point retry_at_;
};

speaker& the_speaker() {
    // Leaked on purpose: see start_locked().
    static speaker* const s = new speaker;
    return *s;
}

} // namespace

void speak(std::string_view text, bool interrupt) {
    if (text.empty())
        return;
    try {
        job j;
        j.text.assign(text);
        j.interrupt = interrupt;
        the_speaker().push(std::move(j));
    } catch (...) {
        // Speech is a side channel; failing to queue one text must not take
        // down the caller.
    }
}

void speech_stop() {
    job j;
    j.interrupt = true;
    the_speaker().push(std::move(j));
}

bool speech_close() {
    try {
        return the_speaker().close();
    } catch (...) {
        return false;
    }
}

void set_voice(const voice& v) {
    job j;
    j.new_voice = v;
    the_speaker().push(std::move(j));
}

void set_speaking_listener(std::function<void(bool)> listener) {
    the_speaker().listen(std::move(listener));
}

void set_braille(bool on) {
    job j;
    j.braille = on;
    the_speaker().push(std::move(j));
}

void speech_flush() {
    the_speaker().flush();
}

void set_speech_backend(std::unique_ptr<speech_backend> backend) {
    job j;
    j.swap = true;
    j.backend = std::move(backend);
    the_speaker().push(std::move(j));
    the_speaker().flush();
}

} // namespace tw
