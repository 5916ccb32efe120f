// The end of a game: how long from the interpreter's exit until the first
// screen is back. The fake interpreter (`stampexit` mode) waits for one
// command, then writes "<ns> Goodbye." stamped with CLOCK_MONOTONIC just
// before that last write and leaves at once (os._exit). Measured from that
// stamp to (a) the first screen built (the game screen's fields gone, the
// "Open a game." button there) and (b) that button holding the focus, as
// the window sees it on the next turn of its event loop. The exit travels
// the program's real road: exit watcher, reader drain, both hand-offs to
// the GUI thread, end_game_if_over(), firstscreen().
//
// Command (from the source root; configure with -DTALLOWICK_BENCH=ON):
//   tests/tools/with-display build/ending_gui [runs]      (20 by default)
#include "app/mywin.h"
#include "game/session_ui.h"
#include "speech/speech.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <algorithm>
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

// steady_clock is CLOCK_MONOTONIC on Linux, the clock the fake stamps with.
long long now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               clock_type::now().time_since_epoch())
        .count();
}

class quiet_speech : public tw::speech_backend {
  public:
    bool say(const std::string&) override { return true; }
    void cancel() override {}
};

class bench_app : public wxApp {
  public:
    bool OnInit() override {
        delete wxLog::SetActiveTarget(new wxLogStderr);
        return true;
    }
};

wxWindow* find_label(wxWindow* top, const wxString& label) {
    if (top->GetLabel() == label)
        return top;
    for (wxWindow* child : top->GetChildren())
        if (wxWindow* w = find_label(child, label))
            return w;
    return nullptr;
}

// Runs the real event loop until `done` holds (checked on every idle turn
// and at least every millisecond), or gives up after `bound`.
bool run_until(const std::function<bool()>& done, std::chrono::seconds bound) {
    wxGUIEventLoop loop;
    wxTimer wake;
    auto give_up = clock_type::now() + bound;
    bool ok = false;
    auto check = [&] {
        if (!loop.IsRunning())
            return;
        if (done()) {
            ok = true;
            loop.Exit();
        } else if (clock_type::now() > give_up) {
            loop.Exit();
        }
    };
    wake.Bind(wxEVT_TIMER, [&](wxTimerEvent&) { check(); });
    auto on_idle = [&](wxIdleEvent& e) {
        e.Skip();
        check();
    };
    wxTheApp->Bind(wxEVT_IDLE, on_idle);
    wake.Start(1);
    loop.Run();
    wake.Stop();
    wxTheApp->Unbind(wxEVT_IDLE, on_idle);
    return ok;
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(p * double(v.size() - 1) + 0.5)];
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    if (runs <= 0)
        runs = 20;

    wxApp::SetInstance(new bench_app);
    int wx_argc = 1;
    if (!wxEntryStart(wx_argc, argv) || !wxTheApp->CallOnInit())
        return 2;
    tw::set_speech_backend(std::make_unique<quiet_speech>());

    std::string pattern = (fs::temp_directory_path() / "tallowick-bench-XXXXXX").string();
    const fs::path dir = mkdtemp(pattern.data());
    const fs::path old_cwd = fs::current_path();
    fs::current_path(dir);
    fs::create_directory(dir / "games");
    tw::savepath = dir / "games";
    const fs::path story = dir / "story.z5";
    std::ofstream(story) << "x";
    std::ofstream(dir / "dfrotz") << "#!/bin/sh\nexec /usr/bin/python3 " TALLOWICK_SOURCE_DIR
                                     "/tests/tools/fake-interpreter stampexit\n";
    fs::permissions(dir / "dfrotz", fs::perms::owner_all);

    auto* win = new tw::Mywin(nullptr, "Tallowick, by Brennholt.");
    run_until([&] { return find_label(win, "Open a game.") != nullptr; }, std::chrono::seconds(10));

    std::vector<double> built, focused;
    int failures = 0;
    for (int i = 0; i < runs; ++i) {
        if (!win->launch_game(story) || !win->t2) {
            ++failures;
            continue;
        }
        if (!run_until([&] { return win->t2 && win->t2->GetValue().Contains("Ready."); },
                       std::chrono::seconds(10))) {
            ++failures;
            continue;
        }
        // Any command ends the fake; written directly, as sendline("quit")
        // would first ask the player.
        win->handle->process->write("bye\n");
        long long built_at = 0, focused_at = 0;
        run_until(
            [&] {
                if (!built_at && !win->t1) {
                    if (find_label(win, "Open a game."))
                        built_at = now_ns();
                }
                if (built_at && !focused_at) {
                    wxWindow* f = wxWindow::FindFocus();
                    if (f && f->GetLabel() == "Open a game.")
                        focused_at = now_ns();
                }
                return built_at && focused_at;
            },
            std::chrono::seconds(10));
        // The stamp is the last thing in the turn's history.
        const std::string& last = win->history().lastoutput();
        auto at = last.rfind(" Goodbye.");
        auto from = last.rfind('\n', at == std::string::npos ? 0 : at);
        long long stamp =
            at == std::string::npos
                ? 0
                : std::strtoll(last.c_str() + (from == std::string::npos ? 0 : from + 1), nullptr,
                               10);
        if (!stamp || !built_at || !focused_at) {
            ++failures;
            continue;
        }
        built.push_back((built_at - stamp) / 1e6);
        focused.push_back((focused_at - stamp) / 1e6);
        std::printf("run %2d: first screen built %.1f ms, focus on \"Open a game.\" %.1f ms after "
                    "the exit\n",
                    i + 1, built.back(), focused.back());
    }
    if (!built.empty()) {
        std::printf("game end -> first screen, %zu runs: built median %.1f ms (p90 %.1f, max "
                    "%.1f); focused median %.1f ms (p90 %.1f, max %.1f)\n",
                    built.size(), percentile(built, 0.5), percentile(built, 0.9),
                    percentile(built, 1.0), percentile(focused, 0.5), percentile(focused, 0.9),
                    percentile(focused, 1.0));
    }
    if (failures)
        std::printf("%d runs failed\n", failures);

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
    return failures ? 1 : 0;
}
