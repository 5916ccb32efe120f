// What confining an interpreter costs: from starting it to the first words
// of Lantern Hall on its output, confined (through the launcher, as every
// game is started) against the same launch with no confinement, side by
// side, for our dfrotz (lantern.z5) and our glulxe (lantern.gblorb). The
// rest of a player's start (the program, the reader, speech) is the same
// either way.
//
// Each run plays from a fresh save folder holding the story, and, in the
// second pair of rows, 40 more stories, as a player's who has downloaded
// most of the catalogue: each is kept read-only, one bind mount apiece.
// Runs alternate, confined then not then not then confined..., so that a
// load that comes and goes falls on both alike; one uncounted run of each
// comes first. Beside the time, the processor time the launcher and the
// interpreter took, to its end, which a loaded machine moves less.
//
// Command (configure with -DTALLOWICK_BENCH=ON):
//   <build>/confined_first_words [runs]   (11 by default)
#include "core/interpreter/interpreter.h"
#include "core/interpreter/process.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;

const fs::path binary_dir = TALLOWICK_BINARY_DIR;
const std::string first_words = "Rain follows you in from the dark.";

double cpu_ms_of_children() {
    rusage r;
    ::getrusage(RUSAGE_CHILDREN, &r);
    return (double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1e6 + double(r.ru_utime.tv_usec) +
            double(r.ru_stime.tv_usec)) / 1000;
}

struct measure {
    double wall_ms = -1; // from start() to the first words on stdout; -1: they never came
    double cpu_ms = 0;   // the launcher's and the interpreter's, to its end
};

measure first_words_after(const tw::interpreter_kind& kind, const fs::path& story,
                          const fs::path& folder, bool confined) {
    auto opts = kind.launch(binary_dir / kind.program(), story, folder);
    if (!confined)
        opts.confined.reset();
    std::string error, seen;
    const double cpu_before = cpu_ms_of_children();
    const auto started = clock_type::now();
    auto child = tw::child_process::start(opts, error);
    if (!child) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return {};
    }
    child->write(kind.greeting());
    tw::output_chunk chunk;
    while (seen.find(first_words) == std::string::npos && child->read_output(chunk, 10000) &&
           !chunk.bytes.empty())
        if (!chunk.is_stderr)
            seen += chunk.bytes;
    const auto took = std::chrono::duration<double, std::milli>(clock_type::now() - started);
    child.reset(); // ended and reaped: its time is counted
    if (seen.find(first_words) == std::string::npos)
        return {};
    return {took.count(), cpu_ms_of_children() - cpu_before};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::atoi(argv[1]) : 11;
    if (runs <= 0)
        runs = 11;
    std::random_device random;
    const fs::path scratch = fs::temp_directory_path() / ("confined-bench-" + std::to_string(random()));
    std::printf("launch to first words, median of %d (min to max), ms\n", runs);
    std::printf("%-26s %-22s %-22s %s\n", "", "confined", "not", "cost");
    for (int other_stories : {0, 40})
        for (auto [program, file] : {std::pair{"dfrotz", "lantern.z5"},
                                     std::pair{"glulxe", "lantern.gblorb"}}) {
            const auto& kind = *tw::interpreter_for(program);
            std::vector<double> times[2], cpu[2]; // not, confined
            for (int run = -1; run < runs; ++run)
                for (int turn = 0; turn < 2; ++turn) {
                    const bool confined = (turn + run) % 2 == 0;
                    fs::remove_all(scratch);
                    fs::create_directories(scratch);
                    fs::copy_file(binary_dir / "stories" / file, scratch / file);
                    for (int k = 0; k < other_stories; ++k)
                        fs::copy_file(binary_dir / "stories" / "lantern.z5",
                                      scratch / ("other " + std::to_string(k) + ".z5"));
                    auto m = first_words_after(kind, scratch / file, scratch, confined);
                    if (m.wall_ms < 0) {
                        std::fprintf(stderr, "%s: no first words\n", file);
                        fs::remove_all(scratch);
                        return 1;
                    }
                    if (run >= 0) {
                        times[confined].push_back(m.wall_ms);
                        cpu[confined].push_back(m.cpu_ms);
                    }
                }
            auto range = [](const std::vector<double>& v) {
                char text[64];
                std::snprintf(text, sizeof text, "%.1f (%.1f to %.1f)", median(v),
                              *std::min_element(v.begin(), v.end()),
                              *std::max_element(v.begin(), v.end()));
                return std::string(text);
            };
            std::string what = kind.program() + ", " + std::to_string(other_stories + 1) +
                               (other_stories ? " stories" : " story");
            std::printf("%-26s %-22s %-22s %+5.1f   CPU %.1f against %.1f: %+.1f\n",
                        what.c_str(), range(times[1]).c_str(), range(times[0]).c_str(),
                        median(times[1]) - median(times[0]), median(cpu[1]), median(cpu[0]),
                        median(cpu[1]) - median(cpu[0]));
        }
    fs::remove_all(scratch);
    return 0;
}
