// A flood through the real game screen: the fake interpreter writes 10 MB
// (pattern lines, one segment each) as fast as it can, and the program cuts,
// speaks (to a backend that only counts) and shows all of it. Measured:
//   - the time from launch_game() until the last character is in the output
//     view, and until the last segment has been handed to speech;
//   - the longest stall of the GUI thread: the largest gap between two ticks
//     of a 10 ms wxTimer while the flood lasts (10 ms is no stall at all);
//   - resident memory at the end (VmRSS) and at its peak (VmHWM).
// The game runs in a temporary working directory whose ./dfrotz runs the
// fake interpreter in `flood N --stay` mode, so the screen stays up after the
// flood and its content can be checked once the clock has stopped.
//
// Command (from the source root; configure with -DTALLOWICK_BENCH=ON):
//   tests/tools/with-display build/flood_gui [bytes] [runs]
// (10 MB and 3 runs by default; each run is a fresh game in the same window.)
#include "app/mywin.h"
#include "game/session_ui.h"
#include "speech/speech.h"

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;

namespace {

std::atomic<long> said_count{0};
std::atomic<long long> said_at_ns{0};

long long now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               clock_type::now().time_since_epoch())
        .count();
}

class counting_speech : public tw::speech_backend {
  public:
    bool say(const std::string&) override {
        ++said_count;
        said_at_ns = now_ns();
        return true;
    }
    void cancel() override {}
};

std::string pattern_bytes(size_t n) {
    std::string s;
    s.reserve(n + 32);
    char line[64];
    for (int k = 0; s.size() < n; ++k) {
        std::snprintf(line, sizeof line, "%07d the quick brown fox\n", k);
        s += line;
    }
    s.resize(n);
    return s;
}

long status_kb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::strtol(line.c_str() + std::char_traits<char>::length(field), nullptr, 10);
    return -1;
}

class bench_app : public wxApp {
  public:
    bool OnInit() override {
        delete wxLog::SetActiveTarget(new wxLogStderr);
        return true;
    }
};

struct run_result {
    double shown_ms = -1;
    double spoken_ms = -1;
    double max_gap_ms = 0;
    double max_gap_at_ms = 0; // when the longest stall ended, from the launch
    double answer_ms = -1;    // the answer to a command right after the flood
    long ticks = 0;
    bool content_ok = false;
};

run_result one_run(tw::Mywin* win, const fs::path& story, size_t bytes,
                   const std::string& expected) {
    run_result r;
    said_count = 0;
    const long segments = static_cast<long>((bytes + 27) / 28);

    wxGUIEventLoop loop;
    wxTimer ticker;
    auto last_tick = clock_type::now();
    bool shown = false;
    auto start = clock_type::now();
    ticker.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        auto t = clock_type::now();
        double gap = std::chrono::duration<double, std::milli>(t - last_tick).count();
        if (gap > r.max_gap_ms) {
            r.max_gap_ms = gap;
            r.max_gap_at_ms = std::chrono::duration<double, std::milli>(t - start).count();
        }
        last_tick = t;
        ++r.ticks;
        if (shown && said_count.load() >= segments)
            loop.Exit();
        if (t - start > std::chrono::seconds(120)) // a broken build must not hang
            loop.Exit();
    });

    start = clock_type::now();
    last_tick = start;
    ticker.Start(10);
    if (!win->launch_game(story) || !win->t2) {
        std::fprintf(stderr, "the game did not start\n");
        return r;
    }
    // Building the game screen is not the flood's doing: the stalls are
    // counted from here, where the output starts to arrive.
    last_tick = clock_type::now();
    r.max_gap_ms = 0;
    const long want = static_cast<long>(expected.size());
    win->t2->Bind(wxEVT_TEXT, [&](wxCommandEvent& e) {
        e.Skip();
        if (!shown && win->t2 && win->t2->GetLastPosition() >= want) {
            shown = true;
            r.shown_ms =
                std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
        }
    });
    loop.Run();
    ticker.Stop();
    if (win->t2 && win->handle) {
        // Right after the flood, the game answers a command: how long until
        // that answer is in the view.
        const long before = win->t2->GetLastPosition();
        const long answer = static_cast<long>(std::string("got ping\n").size());
        wxGUIEventLoop wait;
        wxTimer poll;
        auto sent = clock_type::now();
        poll.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
            if (!win->t2 || win->t2->GetLastPosition() >= before + answer ||
                clock_type::now() - sent > std::chrono::seconds(60))
                wait.Exit();
        });
        win->t2->Bind(wxEVT_TEXT, [&](wxCommandEvent& e) {
            e.Skip();
            if (r.answer_ms < 0 && win->t2->GetLastPosition() >= before + answer)
                r.answer_ms =
                    std::chrono::duration<double, std::milli>(clock_type::now() - sent).count();
        });
        poll.Start(5);
        win->handle->process->write("ping\n");
        wait.Run();
        poll.Stop();
    }
    if (said_count.load() >= segments)
        r.spoken_ms = (said_at_ns.load() - std::chrono::duration_cast<std::chrono::nanoseconds>(
                                               start.time_since_epoch())
                                               .count()) /
                      1e6;
    if (win->t2) {
        const std::string got = win->t2->GetValue().utf8_string();
        const std::string want = expected + "got ping\n";
        r.content_ok = got == want;
        if (!r.content_ok) {
            size_t at = 0;
            while (at < got.size() && at < want.size() && got[at] == want[at])
                ++at;
            std::printf("content differs at byte %zu of %zu (want %zu): got \"%s\", want \"%s\"\n",
                        at, got.size(), want.size(), got.substr(at > 40 ? at - 40 : 0, 80).c_str(),
                        want.substr(at > 40 ? at - 40 : 0, 80).c_str());
        }
    }
    // Ends the game ("quit" ends the fake's wait; sendline() would ask the
    // player first) and lets the screen go.
    if (win->handle)
        win->handle->process->write("quit\n");
    auto give_up = clock_type::now() + std::chrono::seconds(30);
    while (win->t2 && clock_type::now() < give_up) {
        wxTheApp->ProcessPendingEvents();
        wxYield();
        usleep(1000);
    }
    return r;
}

} // namespace

int main(int argc, char** argv) {
    size_t bytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 10u << 20;
    int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    if (bytes == 0)
        bytes = 10u << 20;
    if (runs <= 0)
        runs = 3;

    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    wxApp::SetInstance(new bench_app);
    int wx_argc = 1;
    if (!wxEntryStart(wx_argc, argv) || !wxTheApp->CallOnInit())
        return 2;
    tw::set_speech_backend(std::make_unique<counting_speech>());

    std::string pattern = (fs::temp_directory_path() / "tallowick-bench-XXXXXX").string();
    const fs::path dir = mkdtemp(pattern.data());
    const fs::path old_cwd = fs::current_path();
    fs::current_path(dir);
    fs::create_directory(dir / "games");
    tw::savepath = dir / "games";
    const fs::path story = dir / "story.z5";
    std::ofstream(story) << "x";
    {
        std::ofstream script(dir / "dfrotz");
        script << "#!/bin/sh\nexec /usr/bin/python3 " TALLOWICK_SOURCE_DIR
                  "/tests/tools/fake-interpreter flood "
               << bytes << " --stay\n";
    }
    fs::permissions(dir / "dfrotz", fs::perms::owner_all);

    // What the view must hold: every line as written; a last line without
    // its line end gets one, as every segment shown does.
    std::string expected = pattern_bytes(bytes);
    if (!expected.empty() && expected.back() != '\n')
        expected += '\n';

    auto* win = new tw::Mywin(nullptr, "Tallowick, by Brennholt.");
    for (int i = 0; i < 20; ++i) {
        wxTheApp->ProcessPendingEvents();
        wxYield();
    }

    std::printf("flood through the game screen: %zu bytes, %ld segments\n", bytes,
                static_cast<long>((bytes + 27) / 28));
    std::vector<double> shown, gaps;
    bool all_ok = true;
    for (int i = 0; i < runs; ++i) {
        auto r = one_run(win, story, bytes, expected);
        std::printf("run %d: all shown after %.0f ms, all spoken after %.0f ms, longest GUI "
                    "stall %.1f ms (ending at %.0f ms; %ld ticks of 10 ms), content %s; the "
                    "next answer shown %.0f ms after its command\n",
                    i + 1, r.shown_ms, r.spoken_ms, r.max_gap_ms, r.max_gap_at_ms, r.ticks,
                    r.content_ok ? "exact" : "WRONG", r.answer_ms);
        shown.push_back(r.shown_ms);
        gaps.push_back(r.max_gap_ms);
        all_ok = all_ok && r.content_ok;
    }
    std::sort(shown.begin(), shown.end());
    std::sort(gaps.begin(), gaps.end());
    std::printf("median: all shown after %.0f ms; longest GUI stall %.1f ms (worst run %.1f ms)\n",
                shown[shown.size() / 2], gaps[gaps.size() / 2], gaps.back());
    std::printf("memory: VmRSS %ld MB at the end, VmHWM %ld MB at the peak\n",
                status_kb("VmRSS:") / 1024, status_kb("VmHWM:") / 1024);

    win->Destroy();
    for (int i = 0; i < 5; ++i) {
        wxTheApp->ProcessPendingEvents();
        wxYield();
    }
    fs::current_path(old_cwd);
    std::error_code ec;
    fs::remove_all(dir, ec);
    wxTheApp->OnExit();
    wxEntryCleanup();
    return all_ok ? 0 : 1;
}
