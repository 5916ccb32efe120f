#pragma once
// What the download worker tells the window, and what the window tells the
// worker. The worker writes, the GUI thread reads: the counts, the state and
// the cancel are atomics, so neither waits for the other over them; only the
// waker (how a cancel wakes a worker blocked on the network) is under a
// mutex, held just while it is set or called. The worker never touches a
// window.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

namespace tw {

enum class download_state { running, completed, failed, cancelled };

class download_progress {
  public:
    // Bytes written to disk so far.
    std::uint64_t received() const { return received_.load(std::memory_order_relaxed); }
    // The size the server announced; 0 when it is unknown.
    std::uint64_t total() const { return total_.load(std::memory_order_relaxed); }
    // The final state once the worker has finished all its work (the file
    // renamed into place, or the partial file removed); running before.
    download_state state() const { return state_.load(std::memory_order_acquire); }

    // The true percentage, 0 to 100, or none while the size is unknown (the
    // gauge pulses then).
    std::optional<int> percent() const {
        auto t = total();
        if (t == 0)
            return std::nullopt;
        auto r = std::min(received(), t);
        // r * 100 would overflow past 2^57 bytes; nobody downloads that
        // much, but the gauge must never show nonsense.
        if (r <= UINT64_MAX / 100)
            return static_cast<int>(r * 100 / t);
        return static_cast<int>(r / (t / 100));
    }

    // Asks the worker to stop. Wakes a worker that is waiting for the
    // network so that cancel takes effect at once, not at the next byte.
    void cancel() {
        cancel_.store(true, std::memory_order_release);
        std::lock_guard lock(waker_mutex);
        if (waker)
            waker();
    }
    bool cancel_requested() const { return cancel_.load(std::memory_order_acquire); }

    // The worker's side.
    void add_received(std::uint64_t n) { received_.fetch_add(n, std::memory_order_relaxed); }
    void set_total(std::uint64_t n) { total_.store(n, std::memory_order_relaxed); }
    void finish(download_state s) { state_.store(s, std::memory_order_release); }
    // Installs (or, with an empty function, removes) what cancel() calls to
    // wake the worker. Removing waits for a cancel() running it to finish, so
    // the worker may free what the waker uses right afterwards.
    void set_waker(std::function<void()> w) {
        std::lock_guard lock(waker_mutex);
        waker = std::move(w);
    }

  private:
    std::atomic<std::uint64_t> received_{0};
    std::atomic<std::uint64_t> total_{0};
    std::atomic<download_state> state_{download_state::running};
    std::atomic<bool> cancel_{false};
    std::mutex waker_mutex;
    std::function<void()> waker;
};

} // namespace tw
