// The conversation with the display: GlkOte's JSON protocol, one message
// a line on standard output, events read from standard input.
#include "glk/library.h"
#include "glk/platform.h"
#include "glk/utf8.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <system_error>

namespace tw::glk {
namespace {

std::string text_field(const json& message, const char* name) {
    auto it = message.find(name);
    return it != message.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::optional<long long> integer_field(const json& message, const char* name) {
    auto it = message.find(name);
    if (it == message.end() || !it->is_number_integer())
        return std::nullopt;
    return it->get<long long>();
}

// Whole numbers go out as integers: 80, not 80.0.
json number(double value) {
    if (value == std::floor(value) && std::abs(value) < 1e15)
        return static_cast<long long>(value);
    return value;
}

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

const char* file_mode_name(glui32 mode) {
    switch (mode) {
    case filemode_Read:
        return "read";
    case filemode_ReadWrite:
        return "readwrite";
    case filemode_WriteAppend:
        return "writeappend";
    default:
        return "write";
    }
}

const char* file_type_name(glui32 usage) {
    switch (usage & fileusage_TypeMask) {
    case fileusage_SavedGame:
        return "save";
    case fileusage_Transcript:
        return "transcript";
    case fileusage_InputRecord:
        return "command";
    default:
        return "data";
    }
}

// A key as the display names it, or the character typed.
glui32 key_of(const std::string& value, bool unicode) {
    if (glui32 keycode = keycode_named(value))
        return keycode;
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

// Glulxe reports a fatal error by printing it to a window and calling
// glk_exit; the display is told it as an error instead.
std::optional<std::string> interpreter_fatal_error(const library& lib) {
    static const std::string marker = "Glulxe fatal error: ";
    for (auto& win : lib.windows) {
        auto* buffer = dynamic_cast<buffer_window*>(win.get());
        if (!buffer)
            continue;
        std::string text = buffer->pending_text();
        size_t at = text.rfind(marker);
        if (at == std::string::npos)
            continue;
        at += marker.size();
        return text.substr(at, text.find('\n', at) - at);
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

std::optional<json> library::read_message(bool wait) {
    if (wait && !held_.empty()) {
        json message = std::move(held_.front());
        held_.pop_front();
        return message;
    }
    while (!input_ended_) {
        while (input_at_ < input_.size()) {
            switch (splitter_.push(input_[input_at_++])) {
            case message_splitter::status::more:
                break;
            case message_splitter::status::error:
                fail("The display sent something that is not a JSON object.");
            case message_splitter::status::complete: {
                auto message = json::parse(splitter_.take(), nullptr, false);
                if (message.is_discarded() || !message.is_object())
                    fail("The display sent a message that is not valid JSON.");
                return message;
            }
            }
        }
        char chunk[4096];
        auto got = read_input(chunk, sizeof chunk, wait);
        if (got && *got == 0)
            return std::nullopt;
        input_.assign(chunk, got.value_or(0));
        input_at_ = 0;
        input_ended_ = !got;
    }
    if (!wait)
        return std::nullopt;
    // The display has gone; so do we.
    if (interrupt_handler)
        interrupt_handler();
    exit_process(0);
}

void library::send(const json& message) {
    std::string line = message.dump(-1, ' ', false, json::error_handler_t::replace);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

void library::start_session() {
    for (;;) {
        json message = *read_message();
        if (text_field(message, "type") != "init")
            continue;
        auto metrics_field = message.find("metrics");
        screen = parse_metrics(metrics_field != message.end() ? *metrics_field : json());
        auto support = message.find("support");
        if (support != message.end() && support->is_array()) {
            for (auto& feature : *support) {
                timer_supported = timer_supported || feature == "timer";
                graphics_supported = graphics_supported || feature == "graphics";
                hyperlinks_supported = hyperlinks_supported || feature == "hyperlinks";
            }
        }
        rearrange();
        return;
    }
}

json library::window_list() const {
    json list = json::array();
    each_window(root, [&](glk_window_struct* win) {
        if (win->type == wintype_Pair || win->type == wintype_Blank)
            return;
        json entry{{"id", win->id}};
        entry["type"] = win->type == wintype_TextGrid   ? "grid"
                        : win->type == wintype_Graphics ? "graphics"
                                                        : "buffer";
        entry["rock"] = win->rock;
        entry["left"] = number(win->box.left);
        entry["top"] = number(win->box.top);
        entry["width"] = number(win->box.width);
        entry["height"] = number(win->box.height);
        auto [width, height] = window_size(*win, screen);
        if (win->type == wintype_TextGrid) {
            entry["gridwidth"] = width;
            entry["gridheight"] = height;
        } else if (win->type == wintype_Graphics) {
            entry["graphwidth"] = width;
            entry["graphheight"] = height;
        }
        list.push_back(std::move(entry));
    });
    return list;
}

void library::send_update(bool final) {
    json update{{"type", "update"}, {"gen", ++gen_}};
    if (windows_changed_) {
        update["windows"] = window_list();
        windows_changed_ = false;
    }
    json content = json::array();
    std::vector<glk_window_struct*> changed;
    each_window(root, [&](glk_window_struct* win) {
        json entry = win->take_content();
        if (!entry.is_null()) {
            content.push_back(std::move(entry));
            changed.push_back(win);
        }
    });
    if (!content.empty())
        update["content"] = std::move(content);

    json inputs = json::array();
    each_window(final ? nullptr : root, [&](glk_window_struct* win) {
        if (win->input == input_kind::none) {
            // A window that waits for a link alone.
            if (win->link_input)
                inputs.push_back({{"id", win->id}, {"hyperlink", true}});
            return;
        }
        // A window that changed must have its input posted anew.
        if (win->input_gen == 0 || std::find(changed.begin(), changed.end(), win) != changed.end())
            win->input_gen = gen_;
        json entry{{"id", win->id}, {"gen", win->input_gen}};
        auto* grid = dynamic_cast<grid_window*>(win);
        if (win->input == input_kind::character) {
            entry["type"] = "char";
        } else {
            entry["type"] = "line";
            glui32 maxlen = win->line->capacity;
            if (grid)
                maxlen =
                    std::min(maxlen, grid->columns() - std::min(win->line->xpos, grid->columns()));
            entry["maxlen"] = maxlen;
            if (!win->line->initial.empty())
                entry["initial"] = to_utf8(win->line->initial);
            if (!win->line->terminators.empty()) {
                json names = json::array();
                for (glui32 keycode : win->line->terminators)
                    names.push_back(key_name(keycode));
                entry["terminators"] = std::move(names);
            }
        }
        if (grid) {
            entry["xpos"] = win->line ? win->line->xpos : grid->cursor_x();
            entry["ypos"] = win->line ? win->line->ypos : grid->cursor_y();
        }
        if (win->link_input)
            entry["hyperlink"] = true;
        inputs.push_back(std::move(entry));
    });
    update["input"] = std::move(inputs);

    if (timer_changed_ || (final && timer_interval_)) {
        update["timer"] = timer_interval_ && !final ? json(timer_interval_) : json(nullptr);
        timer_changed_ = false;
    }
    if (special_input_ && !final)
        update["specialinput"] = *special_input_;
    send(update);
}

void library::request_timer(glui32 milliseconds) {
    if (milliseconds != timer_interval_) {
        timer_interval_ = milliseconds;
        timer_changed_ = true;
    }
}

std::optional<event_t> library::interpret(const json& message, bool& answered) {
    auto partial = message.find("partial");
    if (partial != message.end() && partial->is_object()) {
        for (auto& [key, value] : partial->items()) {
            glui32 id = 0;
            std::from_chars(key.data(), key.data() + key.size(), id);
            if (auto* win = window_by_id(id); win && win->line && value.is_string())
                win->partial = from_utf8(value.get<std::string>());
        }
    }

    std::string type = text_field(message, "type");
    auto* win = window_by_id(static_cast<glui32>(integer_field(message, "window").value_or(0)));
    if (type == "line") {
        if (!win || !win->line)
            return std::nullopt;
        glui32 terminator = keycode_named(text_field(message, "terminator"));
        auto& allowed = win->line->terminators;
        if (std::find(allowed.begin(), allowed.end(), terminator) == allowed.end())
            terminator = 0;
        return finish_line_input(win, from_utf8(text_field(message, "value")), terminator);
    }
    if (type == "char") {
        if (!win || win->input != input_kind::character)
            return std::nullopt;
        win->input = input_kind::none;
        return event_t{evtype_CharInput, win,
                       key_of(text_field(message, "value"), win->char_unicode), 0};
    }
    if (type == "timer") {
        if (timer_interval_ == 0)
            return std::nullopt;
        return event_t{evtype_Timer, nullptr, 0, 0};
    }
    if (type == "hyperlink") {
        auto value = integer_field(message, "value");
        if (!win || !win->link_input || !value || *value <= 0 || *value > 0xFFFFFFFF)
            return std::nullopt;
        win->link_input = false;
        return event_t{evtype_Hyperlink, win, static_cast<glui32>(*value), 0};
    }
    if (type == "arrange") {
        auto metrics_field = message.find("metrics");
        if (metrics_field == message.end() || !metrics_field->is_object())
            return std::nullopt;
        answered = true;
        std::map<glk_window_struct*, std::pair<glui32, glui32>> before;
        for (auto& w : windows)
            before[w.get()] = window_size(*w, screen);
        screen = parse_metrics(*metrics_field);
        rearrange();
        for (auto& w : windows)
            if (before[w.get()] != window_size(*w, screen))
                return event_t{evtype_Arrange, nullptr, 0, 0};
        return std::nullopt;
    }
    if (type == "redraw") {
        answered = true;
        for (auto& w : windows)
            if (w->type == wintype_Graphics)
                return event_t{evtype_Redraw, win && win->type == wintype_Graphics ? win : nullptr,
                               0, 0};
        return std::nullopt;
    }
    return std::nullopt;
}

event_t library::wait_for_event() {
    send_update(false);
    for (;;) {
        json message = *read_message();
        if (integer_field(message, "gen") != gen_)
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
    // glk_select; but a tick of the timer is the game's now. What is from
    // before the last update glk_select would pass over.
    while (auto message = read_message(false))
        held_.push_back(std::move(*message));
    std::erase_if(held_, [this](const json& m) { return integer_field(m, "gen") != gen_; });
    auto tick = std::find_if(held_.begin(), held_.end(), [](const json& m) {
        return text_field(m, "type") == "timer";
    });
    if (tick == held_.end() || timer_interval_ == 0)
        return {evtype_None, nullptr, 0, 0};
    held_.erase(tick);
    return {evtype_Timer, nullptr, 0, 0};
}

std::optional<std::string> library::prompt_for_file(glui32 usage, glui32 mode) {
    special_input_ = json{{"type", "fileref_prompt"},
                          {"filemode", file_mode_name(mode)},
                          {"filetype", file_type_name(usage)}};
    send_update(false);
    special_input_.reset();
    for (;;) {
        json message = *read_message();
        if (integer_field(message, "gen") != gen_ ||
            text_field(message, "type") != "specialresponse" ||
            text_field(message, "response") != "fileref_prompt")
            continue;
        auto value = message.find("value");
        if (value == message.end() || !value->is_string())
            return std::nullopt;
        return value->get<std::string>();
    }
}

void library::finish() {
    if (auto message = interpreter_fatal_error(*this))
        fail(*message);
    send_update(true);
    exit_process(0);
}

void library::fail(const std::string& message) {
    send(json{{"type", "error"}, {"message", message}});
    exit_process(1);
}

void library::exit_process(int status) {
    std::error_code ignored;
    for (auto& path : temporary_files)
        std::filesystem::remove(path, ignored);
    std::fflush(stdout);
    std::exit(status);
}

} // namespace tw::glk
