#pragma once
// The body of a game's reader thread, and the hand-off of what it reads to
// the GUI thread. Kept free of windows so that it can be tested and
// measured on its own.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tw {

class child_process;

// Segments waiting for the GUI thread. The reader pushes; the GUI thread
// takes everything waiting at once, so a flood of output costs one wake-up
// and one append per batch rather than per segment, and order is kept.
class output_pump {
  public:
    // `wake` runs on the reader thread whenever the pump goes from empty to
    // non-empty; it must only post to the GUI thread.
    explicit output_pump(std::function<void()> wake) : wake(std::move(wake)) {}

    void push(std::string raw);
    // No more segments will come; `stderr_text` is all the child wrote there.
    void close(std::string stderr_text);

    struct batch {
        std::vector<std::string> raws;
        bool closed = false;
        std::string stderr_text;
    };
    batch take();

  private:
    void post(std::unique_lock<std::mutex>& lock, bool was_empty);
    std::function<void()> wake;
    std::mutex mutex;
    std::vector<std::string> waiting;
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
