#pragma once
// The body of a game's reader thread, and the hand-off of what it reads to
// the GUI thread. Free of windows, so that it can be tested and measured on
// its own.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/interpreter/interpreter_screen.h"
#include "core/text/segmenter.h"
#include "core/text/utf8.h"

namespace tw {

class child_process;

// One thing the reader hands to the GUI thread, in the order it was read.
struct output_item {
    enum kind_t {
        segment,     // a piece of output: `raw` for the turn, `shown` for the view
        status_line, // the status line now reads `raw`
        line_input,  // the interpreter waits for a line
        key_input,   // the interpreter waits for a single key
    };
    kind_t kind = segment;
    std::string raw;
    std::string shown; // what was spoken, line end included; "" for nothing
};

// Items waiting for the GUI thread. The reader pushes; the GUI thread takes
// what is waiting in batches, so a flood of output costs one wake-up and one
// append per batch rather than per segment.
class output_pump {
  public:
    // The text the pump holds, in bytes, before push() waits for the GUI
    // thread to take some: an interpreter that writes without end must not
    // outrun the screen, and the memory, by more than this. Far more than any
    // game's turn, so play never waits on it.
    static constexpr size_t capacity = 16 << 20;

    // `wake` runs on the reader thread whenever the pump goes from empty to
    // non-empty; it must only post to the GUI thread.
    explicit output_pump(std::function<void()> wake) : wake(std::move(wake)) {}

    // Waits while the pump is full, until the GUI thread takes some or the
    // pump is abandoned.
    void push(output_item item);
    // No more items will come; `stderr_text` is all the child wrote there.
    void close(std::string stderr_text);

    struct batch {
        std::vector<output_item> items;
        bool closed = false; // the last batch: the reader has finished
        std::string stderr_text;
        bool more = false; // items were left; no wake-up comes for them
    };
    // The oldest items waiting, about `max_bytes` of them (at least one), so
    // that a flood is shown a bounded piece per event-loop turn. The close
    // is reported once nothing is left.
    batch take(size_t max_bytes);
    // Nobody will take any more: push() stops waiting and keeps nothing.
    void abandon();

  private:
    std::function<void()> wake;
    std::mutex mutex;
    std::condition_variable room;
    std::deque<output_item> waiting;
    size_t waiting_bytes = 0;
    bool abandoned = false;
    bool closed = false;
    bool taken_close = false;
    std::string stderr_text;
};

// Most of the interpreter's error text that is kept for the player.
constexpr size_t stderr_limit = 1 << 20;

// What the player hears when the interpreter waits for a single key.
inline constexpr char press_a_key[] = "Press a key.";

// What the reader makes of the interpreter's bytes: decoded, its screen's
// rows, status line and input waits told apart (`screen_width` is the width
// the interpreter was given), its text cut into segments. Each segment worth
// hearing goes to `say` as soon as its last character has arrived, then
// every item, in order, to `deliver`.
class output_reader {
  public:
    output_reader(int screen_width, std::function<void(output_item)> deliver,
                  std::function<void(const std::string&)> say);

    void feed(std::string_view bytes);
    // Whether something is held that quiet() would let go: a question the
    // interpreter may be waiting on, or a row end that may yet be a wrap.
    bool holding() const;
    // The interpreter has been quiet a while: what is held goes.
    void quiet();
    // The output has ended: everything goes.
    void finish();

  private:
    void act_on();
    void hand_on();

    std::function<void(output_item)> deliver;
    std::function<void(const std::string&)> say;
    utf8_decoder decoder;
    interpreter_screen screen;
    segmenter cutter;
    std::string text;
    std::vector<screen_event> events;
    std::vector<std::string> segments;
};

// Reads the child's output until it ends: decodes it, tells the screen's
// rows, status line and input waits apart (`screen_width` is the width the
// interpreter was given), cuts the text into segments, speaks each with
// `say` as soon as its last character has arrived, and pushes everything
// into `pump`, which it closes at the end.
void read_game(child_process& child, int screen_width, output_pump& pump,
               const std::function<void(const std::string&)>& say);

} // namespace tw
