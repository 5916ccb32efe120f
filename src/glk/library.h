#pragma once
// The library's one state: its objects, the window tree, the current
// stream, the display's metrics, and the conversation with the display
// (GlkOte's protocol over standard input and output).
#include "core/glkote/messages.h"
#include "core/glkote/splitter.h"
#include "glk/fileref.h"
#include "glk/layout.h"
#include "glk/registry.h"
#include "glk/schannel.h"
#include "glk/stream.h"
#include "glk/window.h"

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace tw::glk {

class library {
  public:
    static library& get();

    object_list<glk_window_struct, gidisp_Class_Window> windows;
    object_list<glk_stream_struct, gidisp_Class_Stream> streams;
    object_list<glk_fileref_struct, gidisp_Class_Fileref> filerefs;
    object_list<glk_schannel_struct, gidisp_Class_Schannel> schannels;
    glk_window_struct* root = nullptr;
    glk_stream_struct* current_stream = nullptr;

    metrics screen;
    bool timer_supported = false;
    bool graphics_supported = false;
    bool sound_supported = false;
    // A channel was made, used or destroyed since the last update.
    bool schannels_changed = false;
    bool hyperlinks_supported = false;
    void (*interrupt_handler)() = nullptr;
    std::vector<std::filesystem::path> temporary_files;
    // Files the game could not write, told to the display after the next
    // update: after the game's own reply ("Ok."), which Glk gave it no way
    // to make true.
    std::vector<glkote::file_failure> write_failures;

    // Windows (windows.cpp)
    glk_window_struct* window_by_id(glui32 id) const;
    void close_window(glk_window_struct* win);
    // After any change to the tree or the metrics.
    void rearrange();

    // Streams (streams.cpp)
    glk_stream_struct* add_stream(std::unique_ptr<glk_stream_struct> stream);
    void close_stream(glk_stream_struct* stream, stream_result_t* result);

    // Input (events.cpp)
    // Ends a window's line input with `text` (the player's, or what was
    // typed so far when cancelled): fills and gives back the buffer, echoes.
    event_t finish_line_input(glk_window_struct* win, std::u32string text, glui32 terminator);
    void cancel_input(glk_window_struct* win);

    // The display (session.cpp)
    // Reads the init event: metrics and what the display supports.
    void start_session();
    // Sends an update, then waits for the player's event.
    event_t wait_for_event();
    // A timer event that has come, once; otherwise none. Never waits.
    event_t poll_event();
    // Sends an update asking for a file name; nullopt when the player cancels.
    std::optional<std::string> prompt_for_file(glui32 usage, glui32 mode);
    void request_timer(glui32 milliseconds);
    // The number of the update that will carry what is done now.
    glui32 next_generation() const { return gen_ + 1; }
    // The game's file `path` (of `usage`) could not be written, for `why`.
    void write_failed(const std::filesystem::path& path, glui32 usage, std::error_code why);
    // The last update, with nothing awaited; then the process ends.
    [[noreturn]] void finish();
    // An error update (a sentence for the player); then the process ends.
    [[noreturn]] void fail(const std::string& message);
    // Ends the process, files the game left open written first, as Glk's
    // exit does.
    [[noreturn]] void exit_process(int status);

  private:
    library() = default;

    // The next event: one held back, or one read. At the end of input the
    // process ends; or, when not to `wait`, none comes.
    std::optional<glkote::event> read_event(bool wait = true);
    void send(const std::string& message);
    void send_update(bool final);
    void close_files();
    void send_write_failures();
    std::vector<glkote::window_place> window_list() const;
    // What the event means to the game, if anything.
    std::optional<event_t> interpret(const glkote::event& message, bool& answered);
    // The end of a sound or of a change of volume that the game waits for;
    // none for any other such word, which is stale. (Neither answers an
    // update: whatever its generation, it is read.)
    std::optional<event_t> sound_end(const glkote::event& message);

    // Bigger than any event a display sends.
    static constexpr size_t max_message = 1 << 24;
    glkote::message_splitter splitter_{max_message};
    bool input_ended_ = false;
    // Events read while polling, for glk_select, in order.
    std::deque<glkote::event> held_;
    glui32 gen_ = 0;
    bool windows_changed_ = true;
    glui32 timer_interval_ = 0;
    bool timer_changed_ = false;
    std::optional<glkote::file_prompt> special_input_;
    // Sound ends read while the game waited for a file name.
    std::vector<event_t> pending_;
};

// Assigned to a window as it opens; never reused.
glui32 next_window_id();

} // namespace tw::glk
