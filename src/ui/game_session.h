#pragma once
// One game: the interpreter, its reader thread, and the one road by which
// what the interpreter prints reaches the player: the reader speaks it and
// pushes it into a pump; the GUI thread drains the pump into the game
// screen, a bounded piece per turn of the event loop, so that a flood never
// stops the window answering.
#include "core/interpreter/interpreter.h"
#include "core/interpreter/process.h"
#include "core/interpreter/reader.h"

#include <wx/timer.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tw {

class game_session : public std::enable_shared_from_this<game_session> {
  public:
    // What the session reports to, on the GUI thread.
    class listener {
      public:
        virtual void take_output(std::vector<output_item>& items) = 0;
        // The interpreter has ended and everything it printed has been taken;
        // `status` is how it ended (128 + a signal when one killed it).
        virtual void game_over(std::string stderr_text, std::optional<int> status) = 0;

      protected:
        ~listener() = default;
    };

    // Starts `kind`'s interpreter for `story` and its reader thread; `note`,
    // if any, is heard and shown before the game. Returns null with a
    // sentence for the player in `error` when it cannot be started.
    static std::shared_ptr<game_session> start(const interpreter_kind& kind,
                                               const std::filesystem::path& interpreter,
                                               const std::filesystem::path& story,
                                               const std::filesystem::path& save_folder,
                                               const std::string& note, std::string& error);
    ~game_session();

    // GUI thread only. Null: nobody listens any more.
    void listen(listener* l) { target = l; }
    const interpreter_kind& kind() const { return interpreter; }
    // What the player may hear of the game; any thread.
    hearing& heard() { return hearing_; }
    // Queues bytes for the interpreter; false once it has gone, or when
    // there are none.
    bool send(std::string_view bytes) { return !bytes.empty() && process->write(bytes); }
    // Asks the interpreter to end, or with `force` makes it; the game ends
    // as it does when the interpreter leaves by itself.
    void stop_interpreter(bool force) { force ? process->kill() : process->terminate(); }
    // Ends the interpreter: asks it, then forces it, then waits for the
    // reader to finish. Nothing is reported any more.
    void end();

  private:
    game_session(const interpreter_kind& kind, std::unique_ptr<child_process> child);
    void drain();

    const interpreter_kind& interpreter;
    hearing hearing_;
    std::unique_ptr<child_process> process;
    std::unique_ptr<output_pump> pump;
    std::thread reader;
    listener* target = nullptr;
    // Brings the GUI thread back for what the pump still held after a drain.
    wxTimer more_timer;
    std::chrono::steady_clock::time_point last_breather;
};

} // namespace tw
