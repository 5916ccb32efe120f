// Fault injection: the game screen against an interpreter that misbehaves.
// Each case runs in a temporary working directory holding an executable
// ./dfrotz, a two-line shell script that runs the fake interpreter in one of
// its modes (find_interpreter() looks in the working directory first). The
// interpreter gets an environment holding only PYTHONUNBUFFERED=1, hence
// the absolute paths in the script.
#include "gui/gui.h"

#include "app/mywin.h"
#include "game/launch.h"
#include "game/session_ui.h"

#include <wx/evtloop.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace guitest;
namespace fs = std::filesystem;

namespace {

const char fake[] = TALLOWICK_SOURCE_DIR "/tests/tools/fake-interpreter";

// The first n bytes of the fake's pattern: "<k, 7 digits> the quick brown
// fox\n" for k = 0, 1, 2...
std::string pattern_bytes(size_t n) {
    std::string s;
    char line[64];
    for (int k = 0; s.size() < n; ++k) {
        std::snprintf(line, sizeof line, "%07d the quick brown fox\n", k);
        s += line;
    }
    s.resize(n);
    return s;
}

// Resident memory of this process in kB, from /proc.
long resident_kb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

bool process_alive(pid_t pid) {
    return ::kill(pid, 0) == 0;
}

// The text of a message box: the label of its one static text.
std::string box_text(wxWindow& box) {
    for (wxWindow* child : box.GetChildren())
        if (auto* text = wxDynamicCast(child, wxStaticText))
            return text->GetLabel().utf8_string();
    return {};
}

// Like pump_until, but runs a real event loop, as the program does. Needed
// while the view is being flooded: wxYield() (which pump_until, settle,
// press and type use) returns only once nothing at all is pending, which a
// flood without end never allows.
bool loop_until(const std::function<bool()>& done, int bound_ms = 10000) {
    wxGUIEventLoop loop;
    wxTimer check;
    auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound_ms);
    check.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (done() || std::chrono::steady_clock::now() > give_up)
            loop.Exit();
    });
    check.Start(5);
    if (!done())
        loop.Run();
    check.Stop();
    return done();
}

class Fault : public testing::Test {
  protected:
    void SetUp() override {
        old_cwd = fs::current_path();
        old_savepath = tw::savepath;
        fs::current_path(dir.path);
        fs::create_directory(fs::path(dir.path) / "games");
        tw::savepath = fs::path(dir.path) / "games";
        std::ofstream(story) << "not a story; the fake never reads it";
        win = new tw::Mywin(nullptr, "Tallowick, by Brennholt.");
        settle();
    }
    void TearDown() override {
        if (win)
            win->Destroy();
        settle();
        fs::current_path(old_cwd);
        tw::savepath = old_savepath;
    }

    // Writes ./dfrotz: the fake interpreter in `mode`. The story and the
    // interpreter's usual switches, which the script is given, are ignored.
    void interpreter(const std::string& mode, bool executable = true) {
        const fs::path script = fs::path(dir.path) / "dfrotz";
        std::ofstream(script) << "#!/bin/sh\nexec /usr/bin/python3 " << fake << " " << mode << "\n";
        fs::permissions(script, executable ? fs::perms::owner_all
                                           : fs::perms::owner_read | fs::perms::owner_write);
    }
    // Starts a game with the interpreter in `mode`. With `keep_text`, what
    // the view shows is copied after every append (see output()).
    void start(const std::string& mode, bool keep_text = true) {
        interpreter(mode);
        seen.clear();
        // Cleared before the start: the reader may speak before
        // launch_game() has even returned.
        clear_spoken();
        ASSERT_TRUE(win->launch_game(story));
        ASSERT_TRUE(win->t2);
        if (!keep_text)
            return;
        // The view goes with the game screen, often in the same event-loop
        // turn as the last append: keep what it showed last.
        win->t2->Bind(wxEVT_TEXT, [this](wxCommandEvent& e) {
            if (win->t2)
                seen = win->t2->GetValue().utf8_string();
            e.Skip();
        });
    }

    // What the output view shows, or showed last once the game has ended.
    std::string output() const { return win->t2 ? win->t2->GetValue().utf8_string() : seen; }
    bool shows(const std::string& text, int bound_ms = 10000) {
        return pump_until([&] { return output().find(text) != std::string::npos; }, bound_ms);
    }
    bool heard(const std::string& text) {
        return pump_until([&] {
            auto s = spoken();
            return std::find(s.begin(), s.end(), text) != s.end();
        });
    }
    bool focus_on_open() const {
        auto* f = wxWindow::FindFocus();
        return f && f->GetLabel() == "Open a game.";
    }
    bool first_screen_back() {
        return pump_until([&] { return !win->t1 && focus_on_open(); }) && !win->t2;
    }
    // The first screen and nothing of the game screen: no game timer, no
    // input or output field left anywhere in the window.
    void expect_first_screen() {
        EXPECT_TRUE(first_screen_back());
        settle();
        EXPECT_FALSE(win->timer.IsRunning());
        EXPECT_TRUE(find_all(win, "Input.").empty());
        EXPECT_TRUE(find_all(win, "Output.").empty());
        EXPECT_EQ(find_all(win, "Open a game.").size(), 1u);
    }
    // The "pid N" line the fake's hang mode prints first.
    pid_t announced(const std::string& what) {
        auto text = output();
        auto at = text.find(what + " ");
        return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + what.size() + 1);
    }

    temp_dir dir;
    fs::path old_cwd;
    fs::path old_savepath;
    const fs::path story = fs::path(dir.path) / "story.z5";
    tw::Mywin* win = nullptr;
    std::string seen;
};

} // namespace

// --- Crashes and kills --------------------------------------------------

TEST_F(Fault, CrashMidSentenceSpeaksTheHalfSentenceAndReturnsToTheFirstScreen) {
    start("crash");
    EXPECT_TRUE(shows("The troll swings his ax"));
    EXPECT_TRUE(heard("The troll swings his ax\n"));
    expect_first_screen();
}

TEST_F(Fault, SegfaultMidSentenceToo) {
    start("crash SEGV");
    EXPECT_TRUE(heard("The troll swings his ax\n"));
    expect_first_screen();
}

TEST_F(Fault, KilledFromOutsideReturnsToTheFirstScreen) {
    start("echo");
    ASSERT_TRUE(pump_until([&] { return win->handle && win->handle->process->pid() > 0; }));
    ::kill(static_cast<pid_t>(win->handle->process->pid()), SIGKILL);
    expect_first_screen();
    EXPECT_EQ(win->handle->process->poll(), 128 + SIGKILL);
}

TEST_F(Fault, KilledWhileItsOwnChildHoldsTheOutputOpen) {
    // Only the interpreter dies; a process it started lives on with its
    // standard output. The player still gets the first screen back, and the
    // next game (which lets go of this one) does not wait for that process.
    start("hang");
    ASSERT_TRUE(shows("ready\n"));
    pid_t pid = announced("pid");
    pid_t grandchild = announced("grandchild");
    ASSERT_GT(pid, 0);
    ASSERT_GT(grandchild, 0);
    ::kill(pid, SIGKILL);
    expect_first_screen();
    start("echo");
    win->t1->SetFocus();
    settle();
    type("look");
    press(WXK_RETURN);
    EXPECT_TRUE(shows("You said: look."));
    if (process_alive(grandchild))
        ::kill(grandchild, SIGKILL);
}

// --- Error text ---------------------------------------------------------

TEST_F(Fault, AMegabyteOfErrorTextIsShownInTheBoxThenTheFirstScreen) {
    start("stderr 1048576");
    std::string title, text;
    with_modal(
        [&](wxDialog& box) {
            title = box.GetTitle().utf8_string();
            text = box_text(box);
            press(WXK_RETURN);
        },
        [&] { first_screen_back(); });
    EXPECT_EQ(title, "Uh Oh.");
    // The start of what the interpreter wrote, cut to what a box can hold.
    const std::string start_of_it = pattern_bytes(2000);
    EXPECT_EQ(text.substr(0, start_of_it.size()), start_of_it);
    EXPECT_LT(text.size(), 10000u);
    EXPECT_EQ(text.substr(text.size() - 3), "...");
    expect_first_screen();
}

// --- Bytes that are not text ----------------------------------------------

TEST_F(Fault, NulAndInvalidBytesKeepTheReaderGoing) {
    start("badbytes");
    EXPECT_TRUE(shows("The mailbox is closed."));
    EXPECT_TRUE(heard("The mailbox is closed.\n"));
    const std::string text = output();
    EXPECT_NE(text.find("\xEF\xBF\xBD"), std::string::npos) << "U+FFFD for the bad bytes";
    // NUL is dropped; the text on both sides of it stays.
    EXPECT_NE(text.find("A NULhere and bad"), std::string::npos) << text;
    // A sequence split across two writes is joined again.
    EXPECT_NE(text.find("Split \xE2\x82\xAC sign."), std::string::npos) << text;
    EXPECT_EQ(text.find('\0'), std::string::npos);
    expect_first_screen();
}

// --- Ten megabytes without a cut ----------------------------------------

TEST_F(Fault, TenMegabytesWithoutACutArriveWholeInBoundedMemory) {
    constexpr size_t size = 10 << 20;
    long before = resident_kb();
    start("nocut " + std::to_string(size));
    // One segment at the end of the stream: the whole text, then the first
    // screen (the interpreter has exited).
    ASSERT_TRUE(pump_until([&] { return output().size() > size; }, 120000));
    const std::string shown = output();
    const std::string block = "lorem ipsum dolor sit amet consectetur ";
    std::string expected;
    while (expected.size() < size)
        expected += block;
    expected.resize(size);
    expected += '\n';
    EXPECT_EQ(shown.size(), expected.size());
    EXPECT_TRUE(shown == expected) << "the text arrived changed";
    long grown_mb = (resident_kb() - before) / 1024;
    RecordProperty("resident_growth_mb", static_cast<int>(grown_mb));
    // The text is held a few times over (reader, view, history, speech);
    // nothing should grow beyond that.
    EXPECT_LT(grown_mb, 200) << "resident memory grew by " << grown_mb << " MB";
    expect_first_screen();
}

// --- Output without end ----------------------------------------------------

TEST_F(Fault, AnEndlessFloodLeavesTheWindowAnsweringAndCanBeLeft) {
    // The interpreter writes as fast as it can and never stops. The view
    // takes it a piece per turn of the event loop, and the reader waits
    // for the view rather than piling up what it has not shown. Everything
    // here runs the real event loop: wxYield() (inside pump_until, settle,
    // press, type and wxUIActionSimulator) would never see the loop idle.
    const long before = resident_kb();
    // The view keeps all it has shown; this only keeps a broken build from
    // eating the machine before the bounds below run out.
    auto runaway = [&] { return resident_kb() - before > (3L << 20); };
    start("spew", false); // copying a growing view at every append would be the flood's match
    const pid_t interpreter = static_cast<pid_t>(win->handle->process->pid());
    ASSERT_TRUE(loop_until(
        [&] { return runaway() || (win->t2 && win->t2->GetLastPosition() > (4 << 20)); }, 60000));
    if (runaway())
        ::kill(interpreter, SIGKILL);
    ASSERT_FALSE(runaway());
    ASSERT_TRUE(win->handle && !win->handle->process->poll()) << "still flooding";

    // Keys typed meanwhile (by another process, so that nothing here waits
    // for an idle loop) reach the input field.
    win->t1->SetFocus();
    pid_t typist = 0;
    const char* argv[] = {"xdotool", "type", "look", nullptr};
    ASSERT_EQ(
        ::posix_spawnp(&typist, "xdotool", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    EXPECT_TRUE(loop_until([&] { return runaway() || win->t1->GetValue() == "look"; }, 30000))
        << "typed: " << win->t1->GetValue().utf8_string();
    int status = 0;
    ::waitpid(typist, &status, 0);

    // The interpreter dies while the reader waits for the view to catch up:
    // the view drains what is left and the first screen comes back.
    ::kill(interpreter, SIGKILL);
    EXPECT_FALSE(runaway());
    EXPECT_TRUE(loop_until([&] { return !win->t1 && focus_on_open(); }, 60000));
    EXPECT_FALSE(win->timer.IsRunning());
}

// --- Rapid input ----------------------------------------------------------

TEST_F(Fault, AThousandCommandsSentAtOnceArriveInOrder) {
    start("count");
    constexpr int n = 1000;
    for (int i = 0; i < n; ++i)
        win->sendline("line " + std::to_string(i));
    ASSERT_TRUE(shows("got line " + std::to_string(n - 1) + "\n", 60000));
    std::istringstream lines(output());
    std::string line;
    int k = 0;
    while (std::getline(lines, line)) {
        ASSERT_EQ(line, "got line " + std::to_string(k)) << "line " << k;
        ++k;
    }
    EXPECT_EQ(k, n);
    EXPECT_EQ(win->history().outputs().size(), 10u);
    EXPECT_NE(win->history().lastoutput().find("got line 999"), std::string::npos);
}

TEST_F(Fault, AThousandCommandsEnteredAtOnceArriveInOrder) {
    start("count");
    constexpr int n = 1000;
    for (int i = 0; i < n; ++i) {
        win->t1->ChangeValue("entered " + std::to_string(i));
        wxCommandEvent enter(wxEVT_TEXT_ENTER, win->t1->GetId());
        win->process_enter(enter);
    }
    EXPECT_EQ(win->last_input, "entered 999");
    EXPECT_EQ(win->t1->GetValue(), "");
    ASSERT_TRUE(shows("got entered " + std::to_string(n - 1) + "\n", 60000));
    std::istringstream lines(output());
    std::string line;
    int k = 0;
    while (std::getline(lines, line)) {
        ASSERT_EQ(line, "got entered " + std::to_string(k)) << "line " << k;
        ++k;
    }
    EXPECT_EQ(k, n);
    EXPECT_EQ(win->history().outputs().size(), 10u);
}

// --- An interpreter that never reads --------------------------------------

TEST_F(Fault, AMegabyteOfCommandsToAHungInterpreterNeverFreezesTheWindow) {
    start("hang");
    ASSERT_TRUE(shows("ready\n"));
    // Far more than a pipe holds.
    const std::string command(1023, 'n');
    for (int i = 0; i < 1024; ++i)
        win->sendline(command);
    // The window still answers the keyboard.
    win->t1->SetFocus();
    settle();
    type("still here");
    EXPECT_TRUE(pump_until([&] { return win->t1->GetValue() == "still here"; }));
    // And the game can still be left: Ctrl+Q, Yes.
    with_modal([](wxDialog&) { press(WXK_RETURN); }, [&] { press('q', wxMOD_CONTROL); });
    EXPECT_TRUE(win->t1 != nullptr) << "a hung interpreter does not quit by itself";
}

// --- Launch failures ------------------------------------------------------

TEST_F(Fault, AnInterpreterThatIsNotExecutableIsNamedInABox) {
    interpreter("echo", false);
    bool launched = true;
    std::string title, text;
    with_modal(
        [&](wxDialog& box) {
            title = box.GetTitle().utf8_string();
            text = box_text(box);
            press(WXK_RETURN);
        },
        [&] { launched = win->launch_game(story); });
    EXPECT_FALSE(launched);
    EXPECT_EQ(title, "Uh oh!");
    const std::string where = (fs::path(dir.path) / "dfrotz").string();
    EXPECT_NE(text.find(where), std::string::npos) << text;
    EXPECT_NE(text.find("could not be started"), std::string::npos) << text;
    EXPECT_NE(text.find("ermission denied"), std::string::npos) << text;
    expect_first_screen();
}

TEST_F(Fault, NoInterpreterAnywhereIsSaidInABox) {
    // Nothing in the working directory, an empty PATH and nowhere else.
    const std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "";
    const fs::path empty = fs::path(dir.path) / "empty";
    fs::create_directory(empty);
    ::setenv("PATH", empty.c_str(), 1);
    auto old_fallbacks = tw::interpreter_fallbacks;
    tw::interpreter_fallbacks.clear();
    bool launched = true;
    std::string title, text;
    with_modal(
        [&](wxDialog& box) {
            title = box.GetTitle().utf8_string();
            text = box_text(box);
            press(WXK_RETURN);
        },
        [&] { launched = win->launch_game(story); });
    tw::interpreter_fallbacks = old_fallbacks;
    ::setenv("PATH", old_path.c_str(), 1);
    EXPECT_FALSE(launched);
    EXPECT_EQ(title, "Uh oh!");
    EXPECT_EQ(text, "The game interpreter dfrotz could not be found.");
    expect_first_screen();
}
