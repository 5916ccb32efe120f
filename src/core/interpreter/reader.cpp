#include "core/interpreter/reader.h"

#include "core/interpreter/process.h"
#include "core/sound/sound.h"

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

void hearing::silence_reply() {
    int expected = replying;
    reply.compare_exchange_strong(expected, silenced);
}

void hearing::reply_began() {
    int expected = waiting;
    reply.compare_exchange_strong(expected, replying);
}

bool hearing::may_say_text() {
    reply_began();
    return reply.load() == replying;
}

bool hearing::may_say_own() const {
    return reply.load() != ending;
}

void hearing::reply_ended() {
    int now = reply.load();
    while (now != ending && !reply.compare_exchange_weak(now, waiting)) {
    }
}

output_reader::output_reader(std::unique_ptr<output_decoder> decoder, hearing& heard,
                             std::function<void(output_item)> deliver,
                             std::function<void(const std::string&)> say, sound_sink sounds)
    : decoder(std::move(decoder)), heard(heard), deliver(std::move(deliver)), say(std::move(say)),
      sounds(std::move(sounds)) {}

void output_reader::feed(std::string_view bytes) {
    // Whatever comes after a wait for input is the reply to it, even before
    // a word of it can be said.
    if (!bytes.empty())
        heard.reply_began();
    text.clear();
    utf8.feed(bytes, text);
    decoder->feed(text, events);
    act_on();
}

bool output_reader::holding() const {
    return cutter.releasable() || decoder->holding();
}

void output_reader::quiet() {
    decoder->quiet(events);
    act_on();
    if (cutter.release(segments))
        hand_on();
}

void output_reader::finish() {
    text.clear();
    utf8.finish(text);
    decoder->feed(text, events);
    decoder->finish(events);
    act_on();
    cutter.finish(segments);
    hand_on();
}

void output_reader::say_text(const std::string& shown) {
    if (worth_saying(shown) && heard.may_say_text())
        say(shown);
}

void output_reader::hand_on() {
    for (auto& raw : segments) {
        std::string shown = clean_segment(raw);
        said_since_wait = said_since_wait || worth_saying(shown);
        say_text(shown);
        deliver({output_item::segment, std::move(raw), std::move(shown)});
    }
    segments.clear();
}

void output_reader::act_on() {
    for (auto& e : events) {
        if (e.kind == screen_event::story_text) {
            cutter.feed(e.text, segments);
            continue;
        }
        // Anything else comes between the game's sentences.
        cutter.prompt(segments);
        hand_on();
        switch (e.kind) {
        case screen_event::story_text:
            break;
        case screen_event::drawn_line: {
            // A line drawn on the screen is said as it stands, whole: a
            // menu's marker stays with its line.
            std::string shown = e.text + "\n";
            say_text(shown);
            deliver({output_item::segment, std::move(e.text), std::move(shown)});
            break;
        }
        case screen_event::status_line:
            deliver({output_item::status_line, std::move(e.text)});
            break;
        case screen_event::input_wait: {
            auto kind = e.input.kind;
            heard.reply_ended();
            // A wait for a key, or for a link alone, is told when it follows
            // something the game said, and when the game starts waiting so;
            // not at each key of a menu, where only a drawing changed.
            bool told = kind == input_request::key || kind == input_request::link;
            if (told && (kind != last_wait || said_since_wait) && heard.may_say_own())
                say(kind == input_request::key ? press_a_key : choose_a_link);
            last_wait = kind;
            said_since_wait = false;
            output_item item{output_item::input_wait};
            item.input = e.input;
            deliver(std::move(item));
            break;
        }
        case screen_event::file_prompt:
        case screen_event::question: {
            std::string shown = e.text.empty() ? std::string() : e.text + "\n";
            output_item item{e.kind == screen_event::question ? output_item::question
                                                              : output_item::file_prompt,
                             e.text, std::move(shown)};
            item.file = e.file;
            deliver(std::move(item));
            break;
        }
        case screen_event::timer: {
            output_item item{output_item::timer};
            item.number = e.number;
            deliver(std::move(item));
            break;
        }
        case screen_event::sounds:
            // Each sound that starts is described once, however often it
            // repeats.
            for (const auto& channel : e.channels)
                for (const auto& op : channel.ops)
                    if (op.kind == glkote::sound_op::play && !op.alttext.empty() &&
                        sound_descriptions_on()) {
                        std::string text = "[Sound: " + op.alttext + "]";
                        std::string shown = text + "\n";
                        say_text(shown);
                        deliver({output_item::segment, std::move(text), std::move(shown)});
                    }
            if (sounds)
                sounds(e.number, std::move(e.channels));
            break;
        case screen_event::link_choices: {
            output_item item{output_item::link_choices};
            item.links = std::move(e.links);
            deliver(std::move(item));
            break;
        }
        case screen_event::failure:
            deliver({output_item::failure, std::move(e.text)});
            break;
        case screen_event::write_failure: {
            // Tallowick's own words, heard even in a reply the player silenced.
            std::string shown = e.text + "\n";
            if (heard.may_say_own())
                say(shown);
            deliver({output_item::segment, std::move(e.text), std::move(shown)});
            break;
        }
        }
    }
    events.clear();
    hand_on();
}

void read_game(child_process& child, std::unique_ptr<output_decoder> decoder, hearing& heard,
               output_pump& pump, const std::function<void(const std::string&)>& say,
               const std::filesystem::path& story) {
    std::string errors;
    {
        game_sounds played(
            story, [&](const glkote::event& end) { child.write(glkote::write(end)); },
            [&](const std::string& notice) {
                if (heard.may_say_own())
                    say(notice);
                pump.push({output_item::segment, notice, notice + "\n"});
            });
        output_reader reader(
            std::move(decoder), heard, [&](output_item item) { pump.push(std::move(item)); }, say,
            [&](std::int64_t generation, std::vector<glkote::sound_channel> channels) {
                played.update(generation, std::move(channels));
            });
        output_chunk chunk;
        while (true) {
            // Held text may be a question the interpreter now waits on, or a
            // row end that may yet turn out to be a wrap; once the
            // interpreter has gone quiet, say it rather than leave the
            // player in silence.
            if (!child.read_output(chunk, reader.holding() ? quiet_ms : -1))
                break;
            if (chunk.bytes.empty()) {
                reader.quiet();
            } else if (chunk.is_stderr) {
                // The pipe must be drained or the interpreter blocks on it;
                // what is past the limit is read and dropped.
                if (errors.size() < stderr_limit)
                    errors.append(chunk.bytes, 0, stderr_limit - errors.size());
            } else {
                reader.feed(chunk.bytes);
            }
        }
        reader.finish();
    } // the game has ended: its sounds stop here
    pump.close(decode_utf8(errors));
}

} // namespace tw
