// Download throughput of fetch_to_file against the curl command-line tool,
// both fetching the same generated body from a loopback server, and the
// growth of this process's peak resident memory while fetch_to_file runs.
// The server writes the body in 1 MiB blocks of one buffer, so that neither
// side waits on it and the bench itself holds 1 MiB, not the whole body.
//
// Command (configure with -DTALLOWICK_BENCH=ON):
//   <build>/download_throughput [MiB] [rounds]     (defaults: 256 MiB, 5 rounds)
//
// Targets: at least 80% of curl's throughput; peak RSS growth at most 16 MiB.
// The ratio is of the best rounds, so that one unlucky run of either side
// (page cache, scheduler) does not decide it; the medians are printed too.
#include "../tests/unit/http_server.h"
#include "core/catalogue/fetch.h"

#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

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
    int rounds = argc > 2 ? std::stoi(argv[2]) : 5;
    std::uint64_t size = mib << 20;
    const double mb = static_cast<double>(size) / 1e6;

    std::string pattern = (fs::temp_directory_path() / "tallowick-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    fs::path dir = pattern;

    tw::test::http_server server;
    const std::string block(1 << 20, 'z');
    server.route("/big.z5", [&](tw::test::http_server&, socket_t s) {
        std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) +
                           "\r\nConnection: close\r\n\r\n";
        if (!tw::test::http_server::send_all(s, head))
            return;
        for (std::uint64_t left = size; left > 0;) {
            auto n = std::min<std::uint64_t>(left, block.size());
            if (!tw::test::http_server::send_all(s, std::string_view(block).substr(0, n)))
                return;
            left -= n;
        }
    });
    const std::string uri = server.url("/big.z5");

    std::vector<double> fetch_times, curl_times;
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
        fetch_times.push_back(t);
        rss_growth_kib = std::max(rss_growth_kib, after - before);

        // The curl tool, as a child process.
        auto curl_target = dir / "curl.z5";
        double c = run_curl(uri, curl_target);
        if (c < 0 || fs::file_size(curl_target) != size) {
            std::cerr << "curl failed (is the curl tool installed?)\n";
            return 1;
        }
        fs::remove(curl_target);
        curl_times.push_back(c);

        std::printf("round %d: fetch_to_file %.0f MB/s, curl %.0f MB/s\n", round + 1, mb / t,
                    mb / c);
    }
    fs::remove_all(dir);

    std::sort(fetch_times.begin(), fetch_times.end());
    std::sort(curl_times.begin(), curl_times.end());
    auto median = [](const std::vector<double>& t) { return t[t.size() / 2]; };
    double fetch_rate = mb / fetch_times.front(), curl_rate = mb / curl_times.front();
    std::printf("body:                 %llu MiB from 127.0.0.1, %d rounds\n",
                static_cast<unsigned long long>(mib), rounds);
    std::printf("fetch_to_file:        best %.0f MB/s, median %.0f MB/s\n", fetch_rate,
                mb / median(fetch_times));
    std::printf("curl -s -o:           best %.0f MB/s, median %.0f MB/s\n", curl_rate,
                mb / median(curl_times));
    std::printf("ratio:                %.2f of the best, %.2f of the medians (target >= 0.80)\n",
                fetch_rate / curl_rate, median(curl_times) / median(fetch_times));
    std::printf("peak RSS growth:      %.1f MiB (target <= 16 MiB)%s\n", rss_growth_kib / 1024.0,
                peak_reset ? "" : " [peak could not be reset; VmHWM since start]");
    return 0;
}
