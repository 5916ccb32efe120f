// Download throughput of fetch_to_file against the curl command-line tool,
// both fetching the same generated body from a loopback server, and the
// growth of this process's peak resident memory while fetch_to_file runs.
//
//   download_throughput [MiB] [rounds]     (defaults: 256 MiB, 3 rounds)
//
// Targets: at least 80% of curl's throughput; peak RSS growth at most 16 MiB.
// Each figure is the best of the rounds, so that one unlucky run of either
// side (page cache, scheduler) does not decide the ratio.
#include "../tests/unit/http_server.h"
#include "core/catalogue/fetch.h"

#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;

// A /proc/self/status field in KiB, or -1.
long status_kib(const std::string& field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

// Sets the peak back to the current RSS (Linux 4.0 and later), so that the
// next VmHWM is the peak of what follows alone.
bool reset_peak() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return static_cast<bool>(out);
}

double seconds_since(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

// Runs `curl -s -o file uri`; returns the seconds it took, or -1.
double run_curl(const std::string& uri, const fs::path& file) {
    std::string out = file.string();
    const char* argv[] = {"curl", "-s", "-o", out.c_str(), uri.c_str(), nullptr};
    auto start = clock_type::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return seconds_since(start);
}

} // namespace

int main(int argc, char** argv) {
    std::uint64_t mib = argc > 1 ? std::stoull(argv[1]) : 256;
    int rounds = argc > 2 ? std::stoi(argv[2]) : 3;
    std::uint64_t size = mib << 20;
    const double mb = static_cast<double>(size) / 1e6;

    std::string pattern = (fs::temp_directory_path() / "tallowick-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    fs::path dir = pattern;

    tw::test::http_server server;
    server.generated("/big.z5", size);
    const std::string uri = server.url("/big.z5");

    double best_fetch = 1e300, best_curl = 1e300;
    long rss_growth_kib = 0;
    bool peak_reset = true;
    for (int round = 0; round < rounds; ++round) {
        // fetch_to_file, with the peak RSS of this process watched.
        auto target = dir / "fetched.z5";
        peak_reset = reset_peak() && peak_reset;
        long before = peak_reset ? status_kib("VmRSS") : status_kib("VmHWM");
        tw::download_progress progress;
        auto start = clock_type::now();
        auto result = tw::fetch_to_file(uri, target, progress);
        double t = seconds_since(start);
        long after = status_kib("VmHWM");
        if (!result.ok() || fs::file_size(target) != size) {
            std::cerr << "fetch_to_file failed: " << result.message << "\n";
            return 1;
        }
        fs::remove(target);
        best_fetch = std::min(best_fetch, t);
        rss_growth_kib = std::max(rss_growth_kib, after - before);

        // The curl tool, as a child process.
        auto curl_target = dir / "curl.z5";
        double c = run_curl(uri, curl_target);
        if (c < 0 || fs::file_size(curl_target) != size) {
            std::cerr << "curl failed (is the curl tool installed?)\n";
            return 1;
        }
        fs::remove(curl_target);
        best_curl = std::min(best_curl, c);

        std::printf("round %d: fetch_to_file %.0f MB/s, curl %.0f MB/s\n", round + 1, mb / t,
                    mb / c);
    }
    fs::remove_all(dir);

    double fetch_rate = mb / best_fetch, curl_rate = mb / best_curl;
    std::printf("body:                 %llu MiB from 127.0.0.1, %d rounds, best of each\n",
                static_cast<unsigned long long>(mib), rounds);
    std::printf("fetch_to_file:        %.0f MB/s\n", fetch_rate);
    std::printf("curl -s -o:           %.0f MB/s\n", curl_rate);
    std::printf("ratio:                %.2f (target >= 0.80)\n", fetch_rate / curl_rate);
    std::printf("peak RSS growth:      %.1f MiB (target <= 16 MiB)%s\n", rss_growth_kib / 1024.0,
                peak_reset ? "" : " [peak could not be reset; VmHWM since start]");
    return 0;
}
