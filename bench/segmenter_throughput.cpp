// Segmenter throughput on 10 MB of game text, and the reader's whole
// per-byte work on the same game's screen output.
//
// The text is real: what our dfrotz prints for Lantern Hall over a short
// walk-through (rows, status line, prompts, a quote box, "Mr. Hobb",
// "[Your map has been updated...]", "Inform v6.41"), recorded once at the
// start. Its story text, as the dfrotz screen reader gives it, is repeated to the
// size asked, turn by turn, and cut as the reader cuts it: fed, with
// prompt() at each input wait. Three inputs:
//   plain      the turns as they are;
//   "[" first  a "[" before the first turn, which the first prompt lets go;
//   held       a "[" and then all the text fed in 64 KiB chunks with no
//              prompt, every "]" and every line-starting ">" taken out, so
//              that everything is held until the end of the stream.
// The held case must take at most twice as long as plain: held text is kept
// in 64 KiB pieces, never copied again as it grows. It still touches twice
// its size in fresh memory (the pieces, then the one segment), which costs
// what the kernel's page faults cost; on a virtual machine that can be more
// than the cutting itself, so the page faults are counted and one's cost is
// measured. To time the cutting alone, let malloc keep and reuse what it has
// touched: run with
//   GLIBC_TUNABLES=glibc.malloc.trim_threshold=4294967295:glibc.malloc.mmap_threshold=4294967295
// A last line times the reader's pipeline on the raw screen output repeated
// to the same size: all of output_reader (decode, screen, cut, clean).
//
// Each is run 7 times; the minimum and the median are printed, and the
// ratios of both.
//
// Command (configure with -DTALLOWICK_BENCH=ON; needs the dfrotz and
// story_lantern targets, which the build makes first):
//   <build>/segmenter_throughput [megabytes]        (10 by default)
#include "core/interpreter/interpreter.h"
#include "core/interpreter/process.h"
#include "core/interpreter/dfrotz.h"
#include "core/interpreter/dfrotz_screen.h"
#include "core/interpreter/reader.h"
#include "core/text/segmenter.h"
#include "core/text/utf8.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <sys/mman.h>
#include <sys/resource.h>

namespace {

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;
constexpr size_t chunk = 64 * 1024;
constexpr int runs = 7;

const char walk_through[] = "look\nexamine mr hobb\nexamine stove\nread ledger\ntake key\n"
                            "inventory\nunlock door with key\nopen door\nnorth\nexamine map\n"
                            "take map\n\nexamine shelves\nsouth\nsouth\nexamine umbrella\n"
                            "take umbrella\nnorth\nwait\nhelp\n\n\n\nscore\nquit\ny\n";

// The bytes dfrotz writes to its stdout over the walk-through, its start-up
// lines left out (they are said once, not every time the text repeats).
std::string record_game(std::string& error) {
    std::string name = (fs::temp_directory_path() / "tallowick-bench-XXXXXX").string();
    if (!mkdtemp(name.data())) {
        error = "no scratch folder";
        return {};
    }
    const fs::path dir = name;
    auto opts = tw::dfrotz::launch(TALLOWICK_BINARY_DIR "/dfrotz",
                                   TALLOWICK_BINARY_DIR "/stories/lantern.z5", dir);
    std::string out;
    if (auto child = tw::child_process::start(opts, error)) {
        child->write(walk_through);
        tw::output_chunk c;
        while (child->read_output(c, 10000)) {
            if (c.bytes.empty()) {
                error = "dfrotz stopped answering";
                out.clear();
                break;
            }
            if (!c.is_stderr)
                out += c.bytes;
        }
    }
    fs::remove_all(dir);
    // The first screen row: "01", its window's mark (' ', or '=' or '#' for
    // the upper window) and a space.
    for (size_t at = 0; (at = out.find("01", at)) != std::string::npos; ++at)
        if ((at == 0 || out[at - 1] == '\n') && out.size() > at + 3 && out[at + 3] == ' ')
            return out.substr(at);
    return {};
}

// The story text of each turn, as the reader hands it to the segmenter.
std::vector<std::string> turns_of(const std::string& screen_bytes) {
    tw::dfrotz_screen screen(tw::dfrotz::screen_width);
    std::vector<tw::screen_event> events;
    screen.feed(tw::decode_utf8(screen_bytes), events);
    screen.quiet(events);
    std::vector<std::string> turns(1);
    for (auto& e : events) {
        if (e.kind == tw::screen_event::story_text)
            turns.back() += e.text;
        else if (e.kind == tw::screen_event::input_wait)
            turns.emplace_back();
    }
    return turns;
}

struct figures {
    double min = 0, median = 0; // seconds
    long faults = 0;            // page faults of the median run
};

long page_faults() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt + u.ru_majflt;
}

figures time_of(const std::function<void()>& run) {
    std::vector<std::pair<double, long>> t;
    for (int i = 0; i < runs; ++i) {
        long faults = page_faults();
        auto start = clock_type::now();
        run();
        t.emplace_back(std::chrono::duration<double>(clock_type::now() - start).count(),
                       page_faults() - faults);
    }
    std::sort(t.begin(), t.end());
    return {t.front().first, t[t.size() / 2].first, t[t.size() / 2].second};
}

// What one page fault costs here, the median of `runs` first touches of
// `size` bytes of fresh pages straight from the kernel (malloc might hand
// back pages it has touched before).
double seconds_per_fault(size_t size) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        long faults = page_faults();
        auto start = clock_type::now();
        void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return 0;
        std::memset(p, 1, size);
        t.push_back(std::chrono::duration<double>(clock_type::now() - start).count() /
                    double(std::max(1L, page_faults() - faults)));
        munmap(p, size);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// Feeds `text` in 64 KiB chunks; segments are counted, as the reader would
// hand each on.
void feed_chunked(tw::segmenter& cutter, std::string_view text, std::vector<std::string>& out,
                  size_t& segments) {
    for (size_t at = 0; at < text.size(); at += chunk) {
        cutter.feed(text.substr(at, chunk), out);
        segments += out.size();
        out.clear();
    }
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
        std::fprintf(stderr, "could not record Lantern Hall: %s\n", error.c_str());
        return 1;
    }
    const auto one_game = turns_of(recorded);

    // The turns repeated to `size` bytes of story text.
    std::vector<std::string> turns;
    size_t text_bytes = 0;
    while (text_bytes < size)
        for (const auto& t : one_game) {
            turns.push_back(t);
            text_bytes += t.size();
        }
    std::string held = "[";
    held.reserve(text_bytes + 1);
    for (const auto& t : turns)
        for (char c : t)
            if (c != ']' && !(c == '>' && (held.empty() || held.back() == '\n')))
                held += c;
    std::string raw;
    while (raw.size() < size)
        raw += recorded;

    size_t segments = 0;
    std::vector<std::string> out;
    auto cut_turns = [&](bool open_first) {
        tw::segmenter cutter;
        segments = 0;
        if (open_first)
            cutter.feed("[", out);
        for (const auto& t : turns) {
            feed_chunked(cutter, t, out, segments);
            cutter.prompt(out);
            segments += out.size();
            out.clear();
        }
        cutter.finish(out);
        segments += out.size();
        out.clear();
    };

    const auto plain = time_of([&] { cut_turns(false); });
    const size_t plain_segments = segments;
    const auto opened = time_of([&] { cut_turns(true); });
    const size_t opened_segments = segments;
    size_t longest = 0;
    const auto never = time_of([&] {
        tw::segmenter cutter;
        segments = 0;
        feed_chunked(cutter, held, out, segments);
        cutter.finish(out);
        segments += out.size();
        longest = out.empty() ? 0 : out.back().size();
        out.clear();
    });

    // The reader's per-byte work, from dfrotz's bytes to the cleaned text.
    size_t spoken = 0;
    const auto pipeline = time_of([&] {
        tw::hearing heard;
        spoken = 0;
        tw::output_reader reader(
            std::make_unique<tw::dfrotz_screen>(tw::dfrotz::screen_width), heard,
            [&](tw::output_item item) { spoken += item.shown.size(); },
            [](const std::string&) {});
        for (size_t at = 0; at < raw.size(); at += chunk)
            reader.feed(std::string_view(raw).substr(at, chunk));
        reader.finish();
    });

    auto mb_s = [](size_t bytes, double s) { return double(bytes) / (1 << 20) / s; };
    auto line = [&](const char* name, size_t bytes, figures f) {
        std::printf("  %-20s min %7.1f ms  median %7.1f ms  %6.0f MiB/s", name, f.min * 1e3,
                    f.median * 1e3, mb_s(bytes, f.median));
    };
    std::printf("segmenter, %.1f MiB of Lantern Hall's story text (%zu turns), %d runs:\n",
                double(text_bytes) / (1 << 20), turns.size(), runs);
    line("plain", text_bytes, plain);
    std::printf("  %zu segments\n", plain_segments);
    line("\"[\" first", text_bytes + 1, opened);
    std::printf("  %zu segments  x%.2f of plain (x%.2f of the minima)\n", opened_segments,
                opened.median / plain.median, opened.min / plain.min);
    line("\"[\" never closing", held.size(), never);
    std::printf("  %zu segment of %zu bytes  x%.2f of plain (x%.2f of the minima; target <= 2)\n",
                segments, longest, never.median / plain.median, never.min / plain.min);
    // The held case's own page faults; the others have next to none.
    const double fault = seconds_per_fault(2 * held.size());
    std::printf("  page faults: plain %ld, never closing %ld, at about %.1f us each here\n",
                plain.faults, never.faults, fault * 1e6);
    std::printf("reader pipeline (decode + screen + segmenter + clean), %.1f MiB of dfrotz "
                "output:\n",
                double(raw.size()) / (1 << 20));
    line("pipeline", raw.size(), pipeline);
    std::printf("  %zu bytes said\n", spoken);
    return 0;
}
