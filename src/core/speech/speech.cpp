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

// One entry of the queue: a text to say (after silencing what is said, with
// `interrupt`; an empty text only silences), a voice to speak with, or a
// backend to switch to (kept in line so texts queued before a switch still
// go to the old backend).
struct job {
    std::uint64_t seq = 0;
    std::string text;
    bool interrupt = false;
    std::optional<voice> new_voice;
    bool swap = false; // a switch to `backend` (null: the platform's, made on first use)
    std::unique_ptr<speech_backend> backend;
};

class speaker {
  public:
    void push(job j) {
        {
            std::lock_guard lock(mutex_);
            j.seq = ++queued_;
            if (j.interrupt) {
                // Only texts are dropped; a pending switch of backend or
                // voice still happens.
                std::erase_if(queue_, [](const job& q) { return !q.swap && !q.new_voice; });
            }
            queue_.push_back(std::move(j));
            if (!start_locked())
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

  private:
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
            }
            handle(j);
            // The old backend of a switch dies here, on this thread, before
            // anyone is told the switch is done.
            j.backend.reset();
            {
                std::lock_guard lock(mutex_);
                done_ = j.seq;
            }
            done_cv_.notify_all();
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
        if (j.text.empty()) {
            // Silence only: nothing to connect for, and no sign that a
            // service that was down is back.
            try {
                if (j.interrupt && backend_)
                    backend_->cancel();
            } catch (...) {
            }
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
                ok = backend_->say(j.text);
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

    std::mutex mutex_;
    std::condition_variable work_cv_;
    std::condition_variable done_cv_;
    std::deque<job> queue_;
    std::uint64_t queued_ = 0; // seq of the last job pushed
    std::uint64_t done_ = 0;   // seq of the last job finished; all before it are gone
    bool started_ = false;
    std::thread::id thread_id_;

    // Used by the speech thread only.
    std::unique_ptr<speech_backend> backend_;
    std::optional<voice> voice_;
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

void set_voice(const voice& v) {
    job j;
    j.new_voice = v;
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
