#pragma once
// What Tallowick makes of the GlkOte protocol, as our glulxe speaks it (its
// Glk library is ours, in src/glk; the protocol's messages are spelled in
// core/glkote): glk_screen reads the updates, the functions below write
// the events.
//
// Of the updates Tallowick uses: the windows (buffer, grid, graphics; their
// rock, place and size), each window's new content (buffer paragraphs with
// their styles, grid lines, images with their description, links), the
// input each window waits for (a line, a key, a link), the timer, the
// file-name prompt ("specialinput"), the sound channels and what the game
// does with them ("schannels"), "error", and a file the game could not
// write ("filefailure").
#include "core/glkote/messages.h"
#include "core/glkote/splitter.h"
#include "core/interpreter/glk_links.h"
#include "core/interpreter/screen_event.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// The screen the interpreter is told it has, in characters.
constexpr int glk_screen_width = 80;
constexpr int glk_screen_height = 50;

// Which window of an interpreter holds its status line.
enum class glk_status_window {
    topmost_grid, // the grid window at the top (Inform's is also known by its rock)
    none,         // none: a grid window at the top is said as it changes
};

class glk_screen final : public output_decoder {
  public:
    explicit glk_screen(glk_status_window status = glk_status_window::topmost_grid);
    void feed(std::string_view text, std::vector<screen_event>& out) override;
    // An update comes whole or is still coming: there is nothing to let go.
    void quiet(std::vector<screen_event>&) override {}
    bool holding() const override { return false; }
    void finish(std::vector<screen_event>& out) override;

  private:
    struct window {
        glkote::window_type type = glkote::window_type::buffer;
        std::uint32_t rock = 0;
        double top = 0, left = 0;
        size_t rows = 0;
        std::vector<std::string> lines; // a grid's, as last drawn
        bool open_line = false;         // a buffer's last line, which text may join
    };

    void take(std::string_view json, std::vector<screen_event>& out);
    void apply(glkote::update& update, std::vector<screen_event>& out);
    void fail(std::string why, std::vector<screen_event>& out);
    bool is_status_window(std::uint32_t id, const window& w) const;

    glkote::message_splitter splitter;
    bool failed = false;
    const glk_status_window status;

    std::map<std::uint32_t, window> windows;
    std::vector<input_request> inputs; // as the last update left them
    // The status window's height when the game last waited for a command.
    size_t status_rows = 0;
    std::map<std::uint32_t, std::vector<std::string>> drawn; // the drawings last said
    glk_links links;
    std::vector<game_link> choosable; // as last told
};

// The first event: the screen's size.
std::string glk_greeting();
std::string glk_line(std::string_view text, const input_request& request);
std::string glk_key(const key_press& key, const input_request& request);
std::string glk_link(const game_link& link, const input_request& request);
std::string glk_file_name(const std::optional<std::string>& name, const file_request& request);
std::string glk_timer(const input_request& request, std::string_view partial);

} // namespace tw
