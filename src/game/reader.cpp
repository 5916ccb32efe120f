#include "game/reader.h"

#include "game/process.h"
#include "game/segmenter.h"
#include "game/utf8.h"

namespace tw {
namespace {

// How long the interpreter must be silent before held text is spoken. Long
// enough that a sentence split across two writes stays whole.
constexpr int quiet_ms = 60;

} // namespace

void output_pump::post(std::unique_lock<std::mutex>& lock, bool was_empty) {
    lock.unlock();
    if (was_empty && wake)
        wake();
}

void output_pump::push(std::string raw) {
    std::unique_lock lock(mutex);
    // Back-pressure: a reader that waits here stops reading the pipe, and
    // the interpreter then waits on its writes, until the screen catches up.
    room.wait(lock, [this] { return waiting_bytes < capacity || abandoned; });
    if (abandoned)
        return;
    bool was_empty = waiting.empty() && !closed;
    waiting_bytes += raw.size();
    waiting.push_back(std::move(raw));
    post(lock, was_empty);
}

void output_pump::close(std::string text) {
    std::unique_lock lock(mutex);
    bool was_empty = waiting.empty();
    closed = true;
    stderr_text = std::move(text);
    post(lock, was_empty);
}

output_pump::batch output_pump::take() {
    return take(static_cast<size_t>(-1));
}

output_pump::batch output_pump::take(size_t max_bytes) {
    std::unique_lock lock(mutex);
    batch b;
    size_t got = 0;
    while (!waiting.empty()) {
        size_t n = waiting.front().size();
        if (!b.raws.empty() && (got >= max_bytes || n > max_bytes - got))
            break;
        got += n;
        b.raws.push_back(std::move(waiting.front()));
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
    if (!b.raws.empty())
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

bool output_pump::ended() {
    std::lock_guard lock(mutex);
    return closed;
}

void read_game(child_process& child, output_pump& pump,
               const std::function<void(const std::string&)>& say) {
    utf8_decoder decoder;
    segmenter cutter;
    std::string text;
    std::vector<std::string> segments;
    std::string errors;

    auto hand_on = [&] {
        for (auto& raw : segments) {
            std::string cleaned = clean_segment(raw);
            if (!cleaned.empty())
                say(cleaned);
            pump.push(std::move(raw));
        }
        segments.clear();
    };

    output_chunk chunk;
    while (true) {
        // Held text with no cut character may be a question the interpreter
        // now waits on ("Overwrite existing file? "); once it has gone quiet,
        // say it rather than leave the player in silence.
        if (!child.read_output(chunk, cutter.releasable() ? quiet_ms : -1))
            break;
        if (chunk.bytes.empty()) {
            if (cutter.release(segments))
                hand_on();
            continue;
        }
        if (chunk.is_stderr) {
            // The pipe must be drained or the interpreter blocks on it; what
            // is past the limit is read and dropped.
            if (errors.size() < stderr_limit)
                errors.append(chunk.bytes, 0, stderr_limit - errors.size());
            continue;
        }
        text.clear();
        decoder.feed(chunk.bytes, text);
        cutter.feed(text, segments);
        hand_on();
    }
    text.clear();
    decoder.finish(text);
    cutter.feed(text, segments);
    cutter.finish(segments);
    hand_on();
    pump.close(decode_utf8(errors));
}

} // namespace tw
