// The conversation with the display: GlkOte's JSON protocol, one message
// a line on standard output, events read from standard input.
#include "glk/library.h"
#include "glk/platform.h"
#include "glk/utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>
#include <system_error>
#include <utility>

namespace tw::glk {
namespace {

// The protocol's key names stand for Glk's keycodes.
static_assert(static_cast<glui32>(glkote::special_key::left) == keycode_Left);
static_assert(static_cast<glui32>(glkote::special_key::end) == keycode_End);
static_assert(static_cast<glui32>(glkote::special_key::func1) == keycode_Func1);
static_assert(static_cast<glui32>(glkote::special_key::func12) == keycode_Func12);
static_assert(static_cast<glui32>(glkote::file_type::save) == fileusage_SavedGame);
static_assert(static_cast<glui32>(glkote::file_mode::write_append) == filemode_WriteAppend);
static_assert(static_cast<glui32>(glkote::window_type::graphics) == wintype_Graphics);

// Windows in tree order, the order they are listed and updated in.
void each_window(glk_window_struct* win, const std::function<void(glk_window_struct*)>& visit) {
    if (!win)
        return;
    visit(win);
    if (auto* pair = dynamic_cast<pair_window*>(win)) {
        each_window(pair->child1, visit);
        each_window(pair->child2, visit);
    }
}

glkote::file_mode mode_of(glui32 mode) {
    return mode == filemode_Read || mode == filemode_ReadWrite || mode == filemode_WriteAppend
               ? static_cast<glkote::file_mode>(mode)
               : glkote::file_mode::write;
}

glkote::file_type type_of(glui32 usage) {
    return static_cast<glkote::file_type>(
        std::min<glui32>(usage & fileusage_TypeMask, fileusage_InputRecord));
}

// A key as the display names it, or the character typed.
glui32 key_of(const std::string& value, bool unicode) {
    if (auto key = glkote::named<glkote::special_key>(value))
        return static_cast<glui32>(*key);
    std::u32string typed = from_utf8(value);
    if (typed.size() != 1)
        return keycode_Unknown;
    switch (typed[0]) {
    case '\n':
    case '\r':
        return keycode_Return;
    case '\t':
        return keycode_Tab;
    case '\b':
    case 0x7F:
        return keycode_Delete;
    case 0x1B:
        return keycode_Escape;
    default:
        return !unicode && typed[0] > 0xFF ? keycode_Unknown : typed[0];
    }
}

// Why a file could not be written, as the protocol names it.
glkote::failure_reason reason_of(std::error_code why) {
    if (why == std::errc::no_space_on_device || why == std::errc::file_too_large)
        return glkote::failure_reason::disk_full;
#ifdef EDQUOT
    if (why.category() == std::generic_category() && why.value() == EDQUOT)
        return glkote::failure_reason::disk_full;
#endif
    if (why == std::errc::permission_denied || why == std::errc::operation_not_permitted ||
        why == std::errc::read_only_file_system)
        return glkote::failure_reason::denied;
    return glkote::failure_reason::other;
}

// Glulxe and Git report a fatal error by printing it to a window and
// calling glk_exit; the display is told it as an error instead.
std::optional<std::string> interpreter_fatal_error(const library& lib) {
    struct marker {
        std::string before, after;
    };
    static const marker markers[] = {{"Glulxe fatal error: ", "\n"}, {"*** fatal error: ", " ***"}};
    for (auto& win : lib.windows) {
        auto* buffer = dynamic_cast<buffer_window*>(win.get());
        if (!buffer)
            continue;
        std::string text = buffer->pending_text();
        for (const auto& [before, after] : markers) {
            size_t at = text.rfind(before);
            if (at == std::string::npos)
                continue;
            at += before.size();
            return text.substr(at, text.find(after, at) - at);
        }
    }
    return std::nullopt;
}

} // namespace

library& library::get() {
    // Never destroyed: tearing windows and streams down at exit would call
    // back into the program as it ends.
    static auto* instance = new library;
    return *instance;
}

std::optional<glkote::event> library::read_event(bool wait) {
    if (wait && !held_.empty()) {
        glkote::event event = std::move(held_.front());
        held_.pop_front();
        return event;
    }
    for (;;) {
        std::string_view message;
        switch (splitter_.next(message)) {
        case glkote::message_splitter::status::more:
            break;
        case glkote::message_splitter::status::not_an_object:
        case glkote::message_splitter::status::too_large:
            fail("The display sent something that is not a JSON object.");
        case glkote::message_splitter::status::complete:
            if (auto event = glkote::read_event(message))
                return event;
            fail("The display sent a message that is not valid JSON.");
        }
        std::optional<size_t> got;
        char chunk[4096];
        if (!input_ended_) {
            got = read_input(chunk, sizeof chunk, wait);
            input_ended_ = !got;
        }
        if (got && *got > 0) {
            splitter_.feed({chunk, *got});
            continue;
        }
        if (!wait)
            return std::nullopt;
        // The display has gone; so do we.
        if (interrupt_handler)
            interrupt_handler();
        exit_process(0);
    }
}

void library::send(const std::string& message) {
    // Nothing more can be done if the display has gone.
    if (std::fwrite(message.data(), 1, message.size(), stdout) == message.size())
        std::fflush(stdout);
}

void library::start_session() {
    for (;;) {
        glkote::event message = *read_event();
        if (message.type != glkote::event_type::init)
            continue;
        screen = message.measures.value_or(metrics{});
        for (auto& feature : message.support) {
            timer_supported = timer_supported || feature == "timer";
            graphics_supported = graphics_supported || feature == "graphics";
            sound_supported = sound_supported || feature == "sounds";
            hyperlinks_supported = hyperlinks_supported || feature == "hyperlinks";
        }
        rearrange();
        return;
    }
}

std::vector<glkote::window_place> library::window_list() const {
    std::vector<glkote::window_place> list;
    each_window(root, [&](glk_window_struct* win) {
        if (win->type == wintype_Pair || win->type == wintype_Blank)
            return;
        auto [width, height] = window_size(*win, screen);
        list.push_back({win->id, static_cast<glkote::window_type>(win->type), win->rock,
                        win->box.left, win->box.top, win->box.width, win->box.height,
                        win->type == wintype_TextBuffer ? 0 : width,
                        win->type == wintype_TextBuffer ? 0 : height});
    });
    return list;
}

void library::send_update(bool final) {
    glkote::update update;
    update.gen = ++gen_;
    if (windows_changed_) {
        update.windows = window_list();
        windows_changed_ = false;
    }
    std::vector<glk_window_struct*> changed;
    each_window(root, [&](glk_window_struct* win) {
        if (auto content = win->take_content()) {
            update.content.push_back(std::move(*content));
            changed.push_back(win);
        }
    });

    each_window(final ? nullptr : root, [&](glk_window_struct* win) {
        if (win->input == input_kind::none && !win->link_input)
            return;
        // A window that changed must have its input posted anew.
        if (win->input_gen == 0 || std::find(changed.begin(), changed.end(), win) != changed.end())
            win->input_gen = gen_;
        glkote::input_entry request;
        request.window = win->id;
        request.gen = win->input_gen;
        request.type = win->input == input_kind::line        ? glkote::input_entry::line
                       : win->input == input_kind::character ? glkote::input_entry::key
                                                             : glkote::input_entry::none;
        request.hyperlink = win->link_input;
        auto* grid = dynamic_cast<grid_window*>(win);
        if (request.type == glkote::input_entry::line) {
            glui32 maxlen = win->line->capacity;
            if (grid)
                maxlen =
                    std::min(maxlen, grid->columns() - std::min(win->line->xpos, grid->columns()));
            request.maxlen = maxlen;
            request.initial = to_utf8(win->line->initial);
            for (glui32 keycode : win->line->terminators)
                request.terminators.push_back(static_cast<glkote::special_key>(keycode));
        }
        if (grid && request.type != glkote::input_entry::none) {
            request.xpos = win->line ? win->line->xpos : grid->cursor_x();
            request.ypos = win->line ? win->line->ypos : grid->cursor_y();
        }
        update.input.push_back(std::move(request));
    });

    if (timer_changed_ || (final && timer_interval_)) {
        update.timer = final ? 0 : timer_interval_;
        timer_changed_ = false;
    }
    if (!final)
        update.special_input = special_input_;
    if (schannels_changed) {
        // Every channel, so that one left out is known to be gone.
        update.schannels.emplace();
        for (auto& chan : schannels)
            update.schannels->push_back({chan->id, std::exchange(chan->ops, {})});
        schannels_changed = false;
    }
    send(glkote::write(update));
    send_write_failures();
}

void library::write_failed(const std::filesystem::path& path, glui32 usage, std::error_code why) {
    write_failures.push_back(
        {type_of(usage), utf8_of(path.filename()), reason_of(why), why.message()});
}

void library::send_write_failures() {
    for (auto& failure : write_failures)
        send(glkote::write(failure));
    write_failures.clear();
}

void library::request_timer(glui32 milliseconds) {
    if (milliseconds != timer_interval_) {
        timer_interval_ = milliseconds;
        timer_changed_ = true;
    }
}

std::optional<event_t> library::interpret(const glkote::event& message, bool& answered) {
    for (auto& [id, text] : message.partial)
        if (auto* win = window_by_id(id); win && win->line)
            win->partial = from_utf8(text);

    auto* win = window_by_id(message.window);
    switch (message.type) {
    case glkote::event_type::line: {
        if (!win || !win->line)
            return std::nullopt;
        glui32 terminator = message.terminator ? static_cast<glui32>(*message.terminator) : 0;
        auto& allowed = win->line->terminators;
        if (std::find(allowed.begin(), allowed.end(), terminator) == allowed.end())
            terminator = 0;
        return finish_line_input(win, from_utf8(message.value), terminator);
    }
    case glkote::event_type::key:
        if (!win || win->input != input_kind::character)
            return std::nullopt;
        win->input = input_kind::none;
        return event_t{evtype_CharInput, win, key_of(message.value, win->char_unicode), 0};
    case glkote::event_type::timer:
        if (timer_interval_ == 0)
            return std::nullopt;
        return event_t{evtype_Timer, nullptr, 0, 0};
    case glkote::event_type::hyperlink:
        if (!win || !win->link_input || message.link == 0)
            return std::nullopt;
        win->link_input = false;
        return event_t{evtype_Hyperlink, win, message.link, 0};
    case glkote::event_type::arrange: {
        answered = true;
        std::map<glk_window_struct*, std::pair<glui32, glui32>> before;
        for (auto& w : windows)
            before[w.get()] = window_size(*w, screen);
        screen = *message.measures;
        rearrange();
        for (auto& w : windows)
            if (before[w.get()] != window_size(*w, screen))
                return event_t{evtype_Arrange, nullptr, 0, 0};
        return std::nullopt;
    }
    case glkote::event_type::redraw:
        answered = true;
        for (auto& w : windows)
            if (w->type == wintype_Graphics)
                return event_t{evtype_Redraw, win && win->type == wintype_Graphics ? win : nullptr,
                               0, 0};
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

std::optional<event_t> library::sound_end(const glkote::event& message) {
    glk_schannel_struct* chan = nullptr;
    for (auto& c : schannels)
        if (message.channel == c->id)
            chan = c.get();
    if (!chan)
        return std::nullopt;
    bool sound = message.type == glkote::event_type::sound;
    auto& awaited = sound ? chan->sound_end : chan->volume_end;
    if (!awaited || message.gen.value_or(-1) < awaited->generation ||
        message.notify != awaited->notify || (sound && message.sound != awaited->sound))
        return std::nullopt;
    awaited.reset();
    return sound ? event_t{evtype_SoundNotify, nullptr, message.sound, message.notify}
                 : event_t{evtype_VolumeNotify, nullptr, 0, message.notify};
}

event_t library::wait_for_event() {
    send_update(false);
    if (!pending_.empty()) {
        event_t event = pending_.front();
        pending_.erase(pending_.begin());
        return event;
    }
    for (;;) {
        glkote::event message = *read_event();
        if (message.type == glkote::event_type::sound ||
            message.type == glkote::event_type::volume) {
            if (auto event = sound_end(message))
                return *event;
            continue;
        }
        if (message.gen != gen_)
            continue; // from before the last update: the display had not seen it yet
        bool answered = false;
        if (auto event = interpret(message, answered))
            return *event;
        if (answered)
            send_update(false);
    }
}

event_t library::poll_event() {
    // What has come is read without waiting, and held, in order, for
    // glk_select, which judges it; but a tick of the timer is the game's
    // now. A tick from before the last update is none.
    while (auto message = read_event(false))
        held_.push_back(std::move(*message));
    auto is_tick = [](const glkote::event& e) { return e.type == glkote::event_type::timer; };
    std::erase_if(held_, [&](const glkote::event& e) { return is_tick(e) && e.gen != gen_; });
    auto tick = std::find_if(held_.begin(), held_.end(), is_tick);
    if (tick == held_.end() || timer_interval_ == 0)
        return {evtype_None, nullptr, 0, 0};
    held_.erase(tick);
    return {evtype_Timer, nullptr, 0, 0};
}

std::optional<std::string> library::prompt_for_file(glui32 usage, glui32 mode) {
    special_input_ = glkote::file_prompt{mode_of(mode), type_of(usage)};
    send_update(false);
    special_input_.reset();
    for (;;) {
        glkote::event message = *read_event();
        if (message.type == glkote::event_type::sound ||
            message.type == glkote::event_type::volume) {
            if (auto event = sound_end(message))
                pending_.push_back(*event);
            continue;
        }
        if (message.gen == gen_ && message.type == glkote::event_type::file_name)
            return message.file_name;
    }
}

void library::finish() {
    if (auto message = interpreter_fatal_error(*this))
        fail(*message);
    // Any failure to write one is told before the last update.
    close_files();
    send_update(true);
    exit_process(0);
}

void library::close_files() {
    // Only files: a memory stream would give its array back to a program
    // that is ending.
    for (auto& stream : streams)
        if (auto* file = dynamic_cast<file_stream*>(stream.get()))
            file->finish();
}

void library::fail(const std::string& message) {
    send(glkote::write(glkote::error{message}));
    exit_process(1);
}

void library::exit_process(int status) {
    close_files();
    send_write_failures();
    std::error_code ignored;
    for (auto& path : temporary_files)
        std::filesystem::remove(path, ignored);
    std::fflush(stdout);
    std::exit(status);
}

} // namespace tw::glk
