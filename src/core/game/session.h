#pragma once
// One game: its interpreter, the reader thread, and the one road by which
// what the interpreter prints reaches the player. The reader speaks it and
// pushes it into a pump; the thread that owns the session drains the pump,
// a bounded piece at a time, so that a flood never stops the window
// answering.
#include "core/interpreter/interpreter.h"
#include "core/interpreter/process.h"
#include "core/interpreter/reader.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tw {

// What the game's conversation needs of the interpreter that plays it.
class interpreter_link {
  public:
    virtual const interpreter_kind& kind() const = 0;
    // What the player may hear of the game; any thread.
    virtual hearing& heard() = 0;
    // Queues bytes for the interpreter; false once it has gone, or when
    // there are none.
    virtual bool send(std::string_view bytes) = 0;
    // Asks the interpreter to end, or with `force` makes it; the game ends
    // as it does when the interpreter leaves by itself.
    virtual void stop_interpreter(bool force) = 0;

  protected:
    ~interpreter_link() = default;
};

// What a game session hands on, on the thread that drains it.
class game_listener {
  public:
    virtual void take_output(std::vector<output_item>& items) = 0;
    // The interpreter has ended and everything it printed has been taken;
    // `status` is how it ended (128 + a signal when one killed it).
    virtual void game_over(std::string stderr_text, std::optional<int> status) = 0;

  protected:
    ~game_listener() = default;
};

// What to open: the story, where its files go, where interpreters are
// looked for first, and a sentence to say before the game's first words.
struct game_start {
    std::filesystem::path story;
    std::filesystem::path save_folder;
    std::filesystem::path working_folder;
    std::string note;
};

// A game started, not yet read; or the sentence for the player that says
// why it cannot be (a file nothing plays, an interpreter missing or that
// cannot run).
class game_session;
struct game_opening {
    std::shared_ptr<game_session> session;
    std::string problem;
};
class game_session final : public interpreter_link {
  public:
    // Starts the interpreter for `start.story`: the game's first words wait
    // in its pipes until start_reading().
    static game_opening open(const game_start& start);
    ~game_session();

    // Starts the reader thread. `wake` runs on it whenever output waits to
    // be drained, and must only post drain() to the owning thread.
    void start_reading(std::function<void()> wake);

    // Owning thread only. Null: nobody listens any more.
    void listen(game_listener* l) { target = l; }
    // Hands the oldest output on to the listener; when more waits, says
    // after how long to drain again (no wake comes for it: a flood gets a
    // breather now and then, so painting and input get their turn).
    std::optional<std::chrono::milliseconds> drain();

    const interpreter_kind& kind() const override { return interpreter; }
    hearing& heard() override { return hearing_; }
    bool send(std::string_view bytes) override {
        return !bytes.empty() && process->write(bytes);
    }
    void stop_interpreter(bool force) override { force ? process->kill() : process->terminate(); }
    // Ends the interpreter: asks it, then forces it, then waits for the
    // reader to finish. Nothing is reported any more.
    void end();

  private:
    game_session(const interpreter_kind& kind, std::unique_ptr<child_process> child,
                 std::filesystem::path program, std::filesystem::path story, std::string note);

    const interpreter_kind& interpreter;
    const std::filesystem::path program;
    const std::filesystem::path story;
    const std::string note;
    hearing hearing_;
    std::unique_ptr<child_process> process;
    std::unique_ptr<output_pump> pump;
    std::thread reader;
    game_listener* target = nullptr;
    std::chrono::steady_clock::time_point last_breather;
};


} // namespace tw
