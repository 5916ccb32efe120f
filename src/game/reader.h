#pragma once
// The body of a game's reader thread, and the hand-off of what it reads to
// the GUI thread. Kept free of windows so that it can be tested and
// measured on its own.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tw {

class child_process;

// Segments waiting for the GUI thread. The reader pushes; the GUI thread
// takes what is waiting in batches, so a flood of output costs one wake-up
// and one append per batch rather than per segment, and order is kept.
class output_pump {
  public:
    // The raw text the pump holds, in bytes, before push() waits for the GUI
    // thread to take some: an interpreter that writes without end must not
    // outrun the screen, and the memory, by more than this. Far more than
    // any game's turn, so play never waits on it.
    static constexpr size_t capacity = 16 << 20;

    // `wake` runs on the reader thread whenever the pump goes from empty to
    // non-empty; it must only post to the GUI thread.
    explicit output_pump(std::function<void()> wake) : wake(std::move(wake)) {}

    // Waits while the pump holds `capacity` bytes or more, until the GUI
    // thread takes some or the pump is abandoned.
    void push(std::string raw);
    // No more segments will come; `stderr_text` is all the child wrote there.
    void close(std::string stderr_text);

    struct batch {
        std::vector<std::string> raws;
        bool closed = false;
        std::string stderr_text;
        // Segments were left in the pump; no wake-up comes for them.
        bool more = false;
    };
    // Everything waiting.
    batch take();
    // The oldest segments waiting, about `max_bytes` of them (at least one
    // segment, however long), so that a flood can be shown a bounded piece
    // per event-loop turn. The close is reported once nothing is left.
    batch take(size_t max_bytes);
    // Nobody will take any more: push() stops waiting and keeps nothing.
    // Called before the reader thread is joined.
    void abandon();
    // The reader has closed the pump, whether or not all was taken.
    bool ended();

  private:
    void post(std::unique_lock<std::mutex>& lock, bool was_empty);
    std::function<void()> wake;
    std::mutex mutex;
    std::condition_variable room;
    std::deque<std::string> waiting;
    size_t waiting_bytes = 0;
    bool abandoned = false;
    bool closed = false;
    bool taken_close = false;
    std::string stderr_text;
};

// Most of the interpreter's error text that is kept for the player.
constexpr size_t stderr_limit = 1 << 20;

// Reads the child's output until it ends: decodes it, cuts it into
// segments, speaks each cleaned segment with `say` as soon as its last
// character has arrived, and pushes every raw segment into `pump`. Closes
// the pump at the end. `say` is speak() in the program.
void read_game(child_process& child, output_pump& pump,
               const std::function<void(const std::string&)>& say);

} // namespace tw
