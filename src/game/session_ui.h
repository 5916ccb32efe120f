#pragma once
#include "game/process.h"
#include "game/reader.h"

#include <wx/timer.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace tw {

class Mywin;

// One game: the interpreter, its reader thread and what the reader hands
// to the GUI thread. Owned by the main window as `handle`; pending hand-offs
// hold it too, so a late one finds it alive and sees that its window has
// let go (`owner` is null).
class game_session : public std::enable_shared_from_this<game_session> {
  public:
    static std::shared_ptr<game_session> create(std::unique_ptr<child_process> child);
    ~game_session();

    // Starts the reader thread, named after the story.
    void start_reader(const std::filesystem::path& story);
    // Ends the interpreter: asks it, then forces it, then waits for the
    // reader to finish.
    void stop();

    std::unique_ptr<child_process> process;
    std::unique_ptr<output_pump> pump;

    // GUI thread only.
    Mywin* owner = nullptr;
    bool reader_done = false;
    std::string stderr_text;
    // Brings the GUI thread back for what the pump still held after a take.
    wxTimer more_timer;
    // When the view last let painting and posted calls run during a flood.
    std::chrono::steady_clock::time_point last_breather;

  private:
    explicit game_session(std::unique_ptr<child_process> child) : process(std::move(child)) {}
    // Runs `f` on the GUI thread with this session, if it is still alive then.
    void post(void (*f)(game_session&));
    std::thread reader;
};

} // namespace tw
