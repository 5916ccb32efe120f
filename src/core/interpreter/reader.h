#pragma once
// The body of a game's reader thread, and the hand-off of what it reads to
// the GUI thread. Free of windows, so that it can be tested and measured on
// its own.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/interpreter/screen_event.h"
#include "core/text/segmenter.h"
#include "core/text/utf8.h"

namespace tw {

class child_process;

// One thing the reader hands to the GUI thread, in the order it was read.
struct output_item {
    enum kind_t {
        segment,     // a piece of output: `raw` for the turn, `shown` for the view
        status_line, // the status line now reads `raw`
        input_wait,  // the interpreter waits for `input`
        // The interpreter's own questions, said by the GUI thread unless it
        // answers them itself:
        file_prompt, // the name of `file`; `shown` is its question
        question,    // yes or no, `shown`
        timer,       // the game wants a timer event every `number` ms (0: none)
        link_choices, // the links that may now be chosen are `links`
        failure,     // the interpreter cannot go on: `raw` says why
    };
    output_item(kind_t kind = segment, std::string raw = {}, std::string shown = {})
        : kind(kind), raw(std::move(raw)), shown(std::move(shown)) {}

    kind_t kind;
    std::string raw;
    std::string shown; // what the view shows, line end included; "" for nothing
    input_request input;
    file_request file;
    long number = 0;
    std::vector<game_link> links;
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

// What the player hears when the game waits for one key, or for a link and
// nothing else.
inline constexpr char press_a_key[] = "Press a key.";
inline constexpr char choose_a_link[] = "Choose a link with Control K.";

// What the player may hear of a game, decided as it is read. The GUI thread
// asks; the reader thread acts on it. All of it is atomic.
class hearing {
  public:
    // The player silenced speech: the rest of the reply in progress, up to
    // the game's next wait for input, is shown and filed but not said.
    void silence_reply();
    // The game is being ended on the player's word: nothing more is said.
    void end_quietly() { reply.store(ending); }
    // The player's input has gone to the game: what comes now is the reply
    // to it, whether or not the interpreter tells when it waits.
    void input_sent() { reply_ended(); }

    // For the reader: the game's reply has begun, said or not yet.
    void reply_began();
    // Text of the game has come; whether it may be said.
    bool may_say_text();
    // Whether Tallowick's own words about the game may be said.
    bool may_say_own() const;
    // The game waits for input: the reply has ended.
    void reply_ended();

  private:
    enum state : int { waiting, replying, silenced, ending };
    std::atomic<int> reply{waiting};
};

// What the game's sounds are handed to: its sound channels as the update
// numbered `generation` left them.
using sound_sink =
    std::function<void(std::int64_t generation, std::vector<glkote::sound_channel>)>;

// What the reader makes of the interpreter's output: decoded, told apart by
// the interpreter's own `decoder` (screen rows, status line, input waits),
// its text cut into segments. Each segment worth hearing goes to `say` as
// soon as its last character has arrived, unless `heard` says otherwise;
// then every item, in order, to `deliver`. The game's sounds go to
// `sounds`, and the description of each sound that starts is a segment.
class output_reader {
  public:
    output_reader(std::unique_ptr<output_decoder> decoder, hearing& heard,
                  std::function<void(output_item)> deliver,
                  std::function<void(const std::string&)> say, sound_sink sounds = {});

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
    void say_text(const std::string& text);

    std::unique_ptr<output_decoder> decoder;
    hearing& heard;
    std::function<void(output_item)> deliver;
    std::function<void(const std::string&)> say;
    sound_sink sounds;
    utf8_decoder utf8;
    segmenter cutter;
    std::string text;
    std::vector<screen_event> events;
    std::vector<std::string> segments;
    // The kind of the last wait for input, and whether the game has said
    // anything since.
    input_request::kind_t last_wait = input_request::line;
    bool said_since_wait = false;
};

// Reads the child's output until it ends, through an output_reader, and
// pushes everything into `pump`, which it closes at the end. The game's
// sounds are played from `story` while it runs, and stop when it ends.
void read_game(child_process& child, std::unique_ptr<output_decoder> decoder, hearing& heard,
               output_pump& pump, const std::function<void(const std::string&)>& say,
               const std::filesystem::path& story);

} // namespace tw
