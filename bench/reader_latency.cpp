// How long a segment takes from the interpreter's write() to say(): pipe,
// poll wake-up, read, decode, cut and clean. The fake interpreter stamps
// each line with CLOCK_MONOTONIC just before writing it and waits for our
// answer before the next, so every segment meets an idle pipeline, as a
// game's reply to a command does.
//
// Usage: reader_latency [segments]   (1000 by default)
#include "core/interpreter/process.h"
#include "core/interpreter/reader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// steady_clock is CLOCK_MONOTONIC on Linux, the clock the fake stamps with.
long long monotonic_ns() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

int main(int argc, char** argv) {
    int segments = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (segments <= 0)
        segments = 1000;

    tw::launch_options opts{{"/usr/bin/python3",
                             TALLOWICK_SOURCE_DIR "/tests/tools/fake-interpreter", "latency",
                             std::to_string(segments)},
                            {"PYTHONUNBUFFERED=1"},
                            "/"};
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
    tw::read_game(*child, pump, [&](const std::string& text) {
        long long now = monotonic_ns();
        long long sent = std::strtoll(text.c_str(), nullptr, 10);
        if (sent > 0)
            latencies.push_back(now - sent);
        child->write("\n"); // lets the fake send the next line
    });
    int status = child->wait();
    if (status != 0 || latencies.size() != size_t(segments)) {
        std::fprintf(stderr, "the fake interpreter ended with status %d after %zu segments\n",
                     status, latencies.size());
        return 1;
    }

    std::sort(latencies.begin(), latencies.end());
    auto percentile = [&](double p) {
        size_t i = static_cast<size_t>(p * double(latencies.size() - 1) + 0.5);
        return latencies[i] / 1000;
    };
    std::printf("reader latency p50: %lld us, p99: %lld us (%d segments)\n", percentile(0.50),
                percentile(0.99), segments);
    return 0;
}
