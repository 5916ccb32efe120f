// Segmenter throughput on 10 MB of game-like text: the sample story's real
// transcript (tests/data/lantern-transcript.txt) repeated, fed in 64 kB
// chunks as the reader feeds it. Three inputs:
//   plain      the text as it is;
//   "[" first  the same text after a "[" that never closes (the first
//              prompt after a line end lets the held text go);
//   held       a "[" and then the same text with every "]" and every
//              prompt taken out, so that the bracket really never closes and
//              all 10 MB are held until the end of the stream.
// Each is timed 7 times; the median is reported, with the ratio to plain
// (the "[" cases must take at most twice as long). A last line adds the
// reader's other per-byte work (UTF-8 decoding, cleaning every segment) to
// show the whole pipeline's rate.
//
// Command (from the source root; configure with -DTALLOWICK_BENCH=ON):
//   build/segmenter_throughput [megabytes]        (10 by default)
#include "core/text/segmenter.h"
#include "core/text/utf8.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

using clock_type = std::chrono::steady_clock;
constexpr size_t chunk = 64 * 1024;

std::string read_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct outcome {
    double seconds = 0;
    double kernel_seconds = 0; // of which in the kernel (page faults, mostly)
    size_t segments = 0;
    size_t longest = 0;
};

double kernel_time() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_stime.tv_sec) + double(u.ru_stime.tv_usec) / 1e6;
}

// Feeds `text` through one segmenter in chunks and ends the stream.
outcome cut_all(const std::string& text) {
    tw::segmenter cutter;
    std::vector<std::string> out;
    outcome o;
    double kernel_start = kernel_time();
    auto start = clock_type::now();
    for (size_t at = 0; at < text.size(); at += chunk) {
        cutter.feed(std::string_view(text).substr(at, chunk), out);
        o.segments += out.size();
        for (const auto& s : out)
            o.longest = std::max(o.longest, s.size());
        out.clear();
    }
    cutter.finish(out);
    o.segments += out.size();
    for (const auto& s : out)
        o.longest = std::max(o.longest, s.size());
    o.seconds = std::chrono::duration<double>(clock_type::now() - start).count();
    o.kernel_seconds = kernel_time() - kernel_start;
    return o;
}

// The reader's whole per-byte work: decode, cut, clean.
double pipeline(const std::string& bytes) {
    tw::utf8_decoder decoder;
    tw::segmenter cutter;
    std::vector<std::string> out;
    std::string text;
    size_t cleaned = 0;
    auto start = clock_type::now();
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        text.clear();
        decoder.feed(std::string_view(bytes).substr(at, chunk), text);
        cutter.feed(text, out);
        for (const auto& s : out)
            cleaned += tw::clean_segment(s).size();
        out.clear();
    }
    cutter.finish(out);
    for (const auto& s : out)
        cleaned += tw::clean_segment(s).size();
    double t = std::chrono::duration<double>(clock_type::now() - start).count();
    if (cleaned == 0)
        std::printf("(nothing cleaned)\n");
    return t;
}

outcome median_of(const std::string& text, int runs) {
    std::vector<outcome> all;
    for (int i = 0; i < runs; ++i)
        all.push_back(cut_all(text));
    std::sort(all.begin(), all.end(),
              [](const outcome& a, const outcome& b) { return a.seconds < b.seconds; });
    return all[all.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10;
    if (megabytes == 0)
        megabytes = 10;
    const size_t size = megabytes << 20;
    const std::string transcript =
        read_file(TALLOWICK_SOURCE_DIR "/tests/data/lantern-transcript.txt");
    if (transcript.empty()) {
        std::fprintf(stderr, "cannot read the transcript\n");
        return 1;
    }

    std::string plain;
    plain.reserve(size + transcript.size());
    while (plain.size() < size)
        plain += transcript;
    plain.resize(size);

    const std::string opened = "[" + plain;
    std::string held = "[";
    held.reserve(size + 1);
    for (size_t i = 0; i < plain.size(); ++i) {
        char c = plain[i];
        if (c == ']' || (c == '>' && i > 0 && plain[i - 1] == '\n'))
            continue;
        held += c;
    }

    constexpr int runs = 7;
    const auto a = median_of(plain, runs);
    const auto b = median_of(opened, runs);
    const auto c = median_of(held, runs);
    auto rate = [](size_t bytes, double s) { return double(bytes) / (1 << 20) / s; };
    std::printf("segmenter, %zu MB of game-like text in %zu kB chunks, median of %d:\n", megabytes,
                chunk / 1024, runs);
    std::printf("  plain:              %7.1f ms  %7.0f MB/s  (%zu segments)\n", a.seconds * 1e3,
                rate(plain.size(), a.seconds), a.segments);
    std::printf("  after an open \"[\":  %7.1f ms  %7.0f MB/s  (%zu segments)  x%.2f of plain\n",
                b.seconds * 1e3, rate(opened.size(), b.seconds), b.segments, b.seconds / a.seconds);
    std::printf("  \"[\" never closing:  %7.1f ms  %7.0f MB/s  (%zu segment of %zu bytes)  x%.2f "
                "of plain\n",
                c.seconds * 1e3, rate(held.size(), c.seconds), c.segments, c.longest,
                c.seconds / a.seconds);
    std::printf("  time in the kernel (page faults of the growing buffer): plain %.1f ms, never "
                "closing %.1f ms; without it x%.2f of plain\n",
                a.kernel_seconds * 1e3, c.kernel_seconds * 1e3,
                (c.seconds - c.kernel_seconds) / std::max(1e-9, a.seconds - a.kernel_seconds));

    std::vector<double> p;
    for (int i = 0; i < runs; ++i)
        p.push_back(pipeline(plain));
    std::sort(p.begin(), p.end());
    std::printf("  decode + cut + clean (the reader's per-byte work): %.1f ms, %.0f MB/s\n",
                p[p.size() / 2] * 1e3, rate(plain.size(), p[p.size() / 2]));
    return 0;
}
