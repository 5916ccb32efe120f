#include "core/interpreter/reader.h"

#include "core/interpreter/process.h"

namespace tw {
namespace {

// How long the interpreter must be silent before held text is spoken. Long
// enough that a sentence split across two writes stays whole.
constexpr int quiet_ms = 60;

// A lone ">" or a run of dots is shown, but is nothing to hear.
bool worth_saying(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x80 || (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'))
            return true;
    return false;
}

size_t bytes_of(const output_item& item) {
    return item.raw.size() + item.shown.size() + 1;
}

} // namespace

void output_pump::push(output_item item) {
    std::unique_lock lock(mutex);
    // Back-pressure: a reader that waits here stops reading the pipe, and the
    // interpreter then waits on its writes, until the screen catches up.
    room.wait(lock, [this] { return waiting_bytes < capacity || abandoned; });
    if (abandoned)
        return;
    bool was_empty = waiting.empty();
    waiting_bytes += bytes_of(item);
    waiting.push_back(std::move(item));
    lock.unlock();
    if (was_empty && wake)
        wake();
}

void output_pump::close(std::string text) {
    std::unique_lock lock(mutex);
    bool was_empty = waiting.empty();
    closed = true;
    stderr_text = std::move(text);
    lock.unlock();
    if (was_empty && wake)
        wake();
}

output_pump::batch output_pump::take(size_t max_bytes) {
    std::unique_lock lock(mutex);
    batch b;
    size_t got = 0;
    while (!waiting.empty()) {
        size_t n = bytes_of(waiting.front());
        if (!b.items.empty() && got + n > max_bytes)
            break;
        got += n;
        b.items.push_back(std::move(waiting.front()));
        waiting.pop_front();
    }
    waiting_bytes -= got;
    b.more = !waiting.empty();
    if (closed && !taken_close && !b.more) {
        b.closed = true;
        b.stderr_text = std::move(stderr_text);
        taken_close = true;
    }
    lock.unlock();
    if (!b.items.empty())
        room.notify_all();
    return b;
}

void output_pump::abandon() {
    {
        std::lock_guard lock(mutex);
        abandoned = true;
        waiting.clear();
        waiting_bytes = 0;
    }
    room.notify_all();
}

output_reader::output_reader(int screen_width, std::function<void(output_item)> deliver,
                             std::function<void(const std::string&)> say)
    : deliver(std::move(deliver)), say(std::move(say)), screen(screen_width) {}

void output_reader::feed(std::string_view bytes) {
    text.clear();
    decoder.feed(bytes, text);
    screen.feed(text, events);
    act_on();
}

bool output_reader::holding() const {
    return cutter.releasable() || screen.holding();
}

void output_reader::quiet() {
    screen.quiet(events);
    act_on();
    if (cutter.release(segments))
        hand_on();
}

void output_reader::finish() {
    text.clear();
    decoder.finish(text);
    screen.feed(text, events);
    screen.quiet(events);
    act_on();
    cutter.finish(segments);
    hand_on();
}

void output_reader::hand_on() {
    for (auto& raw : segments) {
        std::string shown = clean_segment(raw);
        if (worth_saying(shown))
            say(shown);
        deliver({output_item::segment, std::move(raw), std::move(shown)});
    }
    segments.clear();
}

void output_reader::act_on() {
    for (auto& e : events) {
        switch (e.kind) {
        case screen_event::story_text:
            cutter.feed(e.text, segments);
            break;
        case screen_event::status_line:
            hand_on();
            deliver({output_item::status_line, std::move(e.text), {}});
            break;
        case screen_event::line_input:
        case screen_event::key_input: {
            cutter.prompt(segments);
            hand_on();
            bool key = e.kind == screen_event::key_input;
            if (key)
                say(press_a_key);
            deliver({key ? output_item::key_input : output_item::line_input, {}, {}});
            break;
        }
        }
    }
    events.clear();
    hand_on();
}

void read_game(child_process& child, int screen_width, output_pump& pump,
               const std::function<void(const std::string&)>& say) {
    output_reader reader(
        screen_width, [&](output_item item) { pump.push(std::move(item)); }, say);
    std::string errors;
    output_chunk chunk;
    while (true) {
        // Held text may be a question the interpreter now waits on, or a row
        // end that may yet turn out to be a wrap; once the interpreter has
        // gone quiet, say it rather than leave the player in silence.
        if (!child.read_output(chunk, reader.holding() ? quiet_ms : -1))
            break;
        if (chunk.bytes.empty()) {
            reader.quiet();
        } else if (chunk.is_stderr) {
            // The pipe must be drained or the interpreter blocks on it; what
            // is past the limit is read and dropped.
            if (errors.size() < stderr_limit)
                errors.append(chunk.bytes, 0, stderr_limit - errors.size());
        } else {
            reader.feed(chunk.bytes);
        }
    }
    reader.finish();
    pump.close(decode_utf8(errors));
}

} // namespace tw
