// How long a segment takes from the interpreter's write() to say(): pipe,
// poll wake-up, read, decode, screen, cut and clean, all of read_game.
//
// The writer is a few lines of Python started as the interpreter: it stamps
// each line with CLOCK_MONOTONIC just before writing it, and waits for our
// answer before the next, so that every segment meets an idle pipeline, as
// a game's reply to a command does.
//
// Command (configure with -DTALLOWICK_BENCH=ON):
//   <build>/reader_latency [segments]   (1000 by default)
#include "core/interpreter/interpreter.h"
#include "core/interpreter/process.h"
#include "core/interpreter/reader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// One stamped line per answer; plain text, so the screen passes it through.
const char writer[] = "import os, sys, time\n"
                      "for k in range(int(sys.argv[1])):\n"
                      "    os.write(1, b'%d the lantern flickers\\n' % time.monotonic_ns())\n"
                      "    if not sys.stdin.buffer.readline():\n"
                      "        break\n";

// steady_clock is CLOCK_MONOTONIC on Linux, the clock the writer stamps with.
long long monotonic_ns() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

int main(int argc, char** argv) {
    int segments = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (segments <= 0)
        segments = 1000;

    tw::launch_options opts{
        {"/usr/bin/python3", "-c", writer, std::to_string(segments)}, {}, "/", {}};
    std::string error;
    auto child = tw::child_process::start(opts, error);
    if (!child) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    std::vector<long long> latencies;
    latencies.reserve(segments);
    tw::output_pump pump(nullptr);
    // read_game() is the reader thread's body; here the main thread is it.
    tw::hearing heard;
    tw::read_game(*child, tw::interpreter_for("dfrotz")->decoder(), heard, pump,
                  [&](const std::string& text) {
        long long now = monotonic_ns();
        long long sent = std::strtoll(text.c_str(), nullptr, 10);
        if (sent > 0)
            latencies.push_back(now - sent);
        child->write("\n"); // lets the writer send the next line
    });
    auto status = child->poll();
    if (status.value_or(-1) != 0 || latencies.size() != size_t(segments)) {
        std::fprintf(stderr, "the writer ended with status %d after %zu segments\n",
                     status.value_or(-1), latencies.size());
        return 1;
    }

    std::sort(latencies.begin(), latencies.end());
    auto percentile = [&](double p) {
        size_t i = static_cast<size_t>(p * double(latencies.size() - 1) + 0.5);
        return double(latencies[i]) / 1000;
    };
    std::printf("reader latency, write() to say(), %d segments: min %.0f us, p50 %.0f us, "
                "p99 %.0f us, max %.0f us\n",
                segments, percentile(0), percentile(0.50), percentile(0.99), percentile(1));
    return 0;
}
