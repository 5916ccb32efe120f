// The Glk protocol reader's throughput: what our glulxe prints for Lantern
// Hall's Glulx build over a walk-through, repeated to 10 MiB, read as the
// game's reader thread reads it, fed in 64 KiB chunks.
//
// The updates are real: recorded once at the start from BUILD/glulxe playing
// stories/lantern.gblorb, answered as Tallowick answers them (the init event,
// then each line or key the walk-through gives, to the window and update
// that asked): buffer paragraphs with their styles, the status grid each
// turn, a quotation's window and a key wait, the help menu drawn in the
// grid, the picture's description, Unicode, a timer asked for and cancelled,
// a 150-line reply, a question. The recording is repeated as it is (a
// repeat starts with the windows again, as a restart does).
//
// Two figures, each the minimum and median of 7 runs, in wall-clock time
// and in the process's CPU time (which a machine shared with builds
// disturbs far less):
//   glk_screen      the protocol alone: JSON found, parsed, made into events;
//   output_reader   everything the reader thread does with it (the above,
//                   UTF-8 decoding, cutting into segments, cleaning), with
//                   glk_screen as the decoder, the segments counted.
//
// Command (configure with -DTALLOWICK_BENCH=ON; needs the glulxe and
// glulx_story_lantern targets, which the build makes first):
//   <build>/glk_throughput [megabytes]        (10 by default)
#include "core/interpreter/glk_protocol.h"
#include "core/interpreter/process.h"
#include "core/interpreter/reader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;
constexpr size_t chunk = 64 * 1024;
constexpr int runs = 7;

// A command a line, or "key:" and a key: what the game waits for must match.
const char walk_through[] = "look\nexamine mr hobb\nexamine stove\nread ledger\nx painting\n"
                            "x caf\u00e9\neast\nkey:x\nexamine map\ntake map\nexamine shelves\n"
                            "west\nhelp\nkey:down\nkey:up\nkey:q\nlight lantern\ninventory\n"
                            "put out lantern\nsouth\nexamine umbrella\ntake umbrella\nnorth\n"
                            "take key\ninventory\nunlock door with key\nscore\nquit\ny\n";

std::vector<std::string> steps() {
    std::vector<std::string> found;
    std::string_view rest = walk_through;
    for (size_t end; (end = rest.find('\n')) != std::string_view::npos; rest.remove_prefix(end + 1))
        found.emplace_back(rest.substr(0, end));
    return found;
}

tw::key_press key_of(std::string_view name) {
    if (name == "down")
        return {tw::key_press::down};
    if (name == "up")
        return {tw::key_press::up};
    if (name == "return")
        return {tw::key_press::enter};
    return {tw::key_press::none, std::string(name)};
}

// The bytes glulxe writes to its stdout over the walk-through.
std::string record_game(std::string& error) {
    // The game's working directory, where it would keep its files.
    std::string name = (fs::temp_directory_path() / "tallowick-glk-bench-XXXXXX").string();
    if (!mkdtemp(name.data())) {
        error = "no scratch folder";
        return {};
    }
    const fs::path dir = name;
    tw::launch_options opts{
        {TALLOWICK_BINARY_DIR "/glulxe", TALLOWICK_BINARY_DIR "/stories/lantern.gblorb"},
        {},
        dir.string(),
        {}};
    std::string out;
    if (auto child = tw::child_process::start(opts, error)) {
        child->write(tw::glk_greeting());
        tw::glk_screen screen;
        std::vector<tw::screen_event> events;
        const auto walk = steps();
        size_t next = 0;
        tw::output_chunk c;
        while (error.empty() && child->read_output(c, 10000)) {
            if (c.bytes.empty()) {
                error = "glulxe stopped answering";
                break;
            }
            if (c.is_stderr)
                continue;
            out += c.bytes;
            screen.feed(c.bytes, events);
            for (const auto& e : events) {
                if (e.kind == tw::screen_event::failure) {
                    error = e.text;
                } else if (e.kind == tw::screen_event::input_wait) {
                    if (next == walk.size()) {
                        error = "the game wants more than the walk-through gives";
                        break;
                    }
                    const std::string& step = walk[next++];
                    bool is_key = step.rfind("key:", 0) == 0;
                    if (is_key != (e.input.kind == tw::input_request::key)) {
                        error = "the walk-through is out of step at \"" + step + "\"";
                        break;
                    }
                    child->write(is_key ? tw::glk_key(key_of(step.substr(4)), e.input)
                                        : tw::glk_line(step, e.input));
                }
            }
            events.clear();
        }
        if (error.empty() && next < walk.size())
            error = "the game ended at step " + std::to_string(next) + " of the walk-through";
    }
    fs::remove_all(dir);
    if (!error.empty())
        out.clear();
    return out;
}

struct figures {
    double min = 0, median = 0, cpu = 0; // seconds; the CPU time's median
};

figures time_of(const std::function<void()>& run) {
    std::vector<double> t, cpu;
    for (int i = 0; i < runs; ++i) {
        auto start = clock_type::now();
        std::clock_t cpu_start = std::clock();
        run();
        cpu.push_back(double(std::clock() - cpu_start) / CLOCKS_PER_SEC);
        t.push_back(std::chrono::duration<double>(clock_type::now() - start).count());
    }
    std::sort(t.begin(), t.end());
    std::sort(cpu.begin(), cpu.end());
    return {t.front(), t[t.size() / 2], cpu[cpu.size() / 2]};
}

} // namespace

int main(int argc, char** argv) {
    size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10;
    if (megabytes == 0)
        megabytes = 10;
    const size_t size = megabytes << 20;

    std::string error;
    const std::string recorded = record_game(error);
    if (recorded.empty()) {
        std::fprintf(stderr, "could not record Lantern Hall through glulxe: %s\n", error.c_str());
        return 1;
    }
    size_t updates = 0;
    for (size_t at = recorded.find("{\"type\":"); at != std::string::npos;
         at = recorded.find("{\"type\":", at + 1))
        ++updates;
    std::string raw;
    size_t copies = 0;
    while (raw.size() < size) {
        raw += recorded;
        ++copies;
    }
    const std::string_view stream(raw);

    size_t events = 0;
    const auto protocol = time_of([&] {
        tw::glk_screen screen;
        std::vector<tw::screen_event> out;
        events = 0;
        for (size_t at = 0; at < stream.size(); at += chunk) {
            screen.feed(stream.substr(at, chunk), out);
            events += out.size();
            out.clear();
        }
        screen.finish(out);
        events += out.size();
    });

    size_t items = 0, shown = 0, said = 0;
    const auto pipeline = time_of([&] {
        tw::hearing heard;
        items = shown = said = 0;
        tw::output_reader reader(
            std::make_unique<tw::glk_screen>(), heard,
            [&](tw::output_item item) {
                ++items;
                shown += item.shown.size();
            },
            [&](const std::string& text) { said += text.size(); });
        for (size_t at = 0; at < stream.size(); at += chunk)
            reader.feed(stream.substr(at, chunk));
        reader.finish();
    });

    auto mib_s = [&](double s) { return double(raw.size()) / (1 << 20) / s; };
    std::printf("our glulxe's output for Lantern Hall (%zu bytes, %zu updates) repeated %zu "
                "times: %.1f MiB, fed in 64 KiB chunks, %d runs\n",
                recorded.size(), updates, copies, double(raw.size()) / (1 << 20), runs);
    std::printf("  %-14s min %7.1f ms  median %7.1f ms  %6.1f MiB/s (best %6.1f; CPU %6.1f)  "
                "%zu events\n",
                "glk_screen", protocol.min * 1e3, protocol.median * 1e3, mib_s(protocol.median),
                mib_s(protocol.min), mib_s(protocol.cpu), events);
    std::printf("  %-14s min %7.1f ms  median %7.1f ms  %6.1f MiB/s (best %6.1f; CPU %6.1f)  "
                "%zu items, %.1f MiB shown, %.1f MiB said\n",
                "output_reader", pipeline.min * 1e3, pipeline.median * 1e3, mib_s(pipeline.median),
                mib_s(pipeline.min), mib_s(pipeline.cpu), items, double(shown) / (1 << 20),
                double(said) / (1 << 20));
    return 0;
}
