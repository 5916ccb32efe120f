#pragma once
// What the threads that use a child process share with the reader thread
// that serves it: the bytes queued for its stdin, and its exit status. Both
// platforms' child_process keep theirs in one of these.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tw {

class child_state {
  public:
    // Queues bytes for stdin; false once stdin has closed.
    bool queue(std::string_view bytes) {
        std::lock_guard lock(mutex);
        if (input_closed)
            return false;
        queued.append(bytes);
        return true;
    }
    // Everything queued so far, for the reader thread to write.
    std::string take() {
        std::lock_guard lock(mutex);
        return std::exchange(queued, {});
    }
    // The child's stdin is gone: what is queued and what comes is dropped.
    void close_input() {
        std::lock_guard lock(mutex);
        input_closed = true;
        queued.clear();
    }
    // The child has exited with `code`; its stdin has gone with it.
    void exited(int code) {
        {
            std::lock_guard lock(mutex);
            status = code;
            input_closed = true;
            queued.clear();
        }
        changed.notify_all();
    }
    std::optional<int> exit_status() {
        std::lock_guard lock(mutex);
        return status;
    }
    bool wait_for_exit(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout, [this] { return status.has_value(); });
    }
    // Runs `f` unless the child has exited, with the exit held off until
    // `f` returns (so that a process id is still the child's).
    template <class F> void unless_exited(F f) {
        std::lock_guard lock(mutex);
        if (!status)
            f();
    }

  private:
    std::mutex mutex;
    std::condition_variable changed;
    std::optional<int> status;
    bool input_closed = false;
    std::string queued;
};

} // namespace tw
