// The process entry: reads the command line, settles the save folder, opens
// the main window and runs the event loop. The program ends in
// main_frame::close_program().
#include "core/interpreter/process.h"
#include "core/platform/platform.h"
#include "core/platform/save_folder.h"
#include "core/speech/speech.h"
#include "core/text/utf8.h"
#include "ui/accessibility.h"
#include "ui/main_frame.h"
#include "ui/startup.h"

#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>

namespace tw {
namespace {

const char usage[] = "Usage: tallowick [STORY]\n"
                     "Plays interactive fiction by ear: the story file STORY at once, or the one\n"
                     "chosen on its first screen.\n"
                     "  --help     show this and leave\n"
                     "  --version  show the version and what confines the interpreters, and "
                     "leave\n";

class tallowick_app : public wxApp {
  public:
    explicit tallowick_app(std::filesystem::path story) : story(std::move(story)) {}

    bool OnInit() override {
        // The player hears only our own messages: wx's log goes to stderr,
        // never into a window of its own.
        delete wxLog::SetActiveTarget(new wxLogStderr);
        std::error_code ec;
        auto chosen = choose_save_folder(std::filesystem::current_path(ec), documents_directory());
        if (!chosen) {
            message_box("The program was unable to create its save directory and can not run. "
                        "Please try again, or consider using the portable copy.",
                        "Oops.", wxOK | wxICON_INFORMATION);
            return false;
        }
        // The first screen only when no story starts: built and then
        // dropped, its focused button would be announced for nothing.
        frame = new main_frame(*chosen);
        if (story.empty() || !open_story(*frame))
            frame->show_first_screen();
        return true;
    }

    // A story named on the command line starts at once; one that cannot be
    // read is told of, and the first screen comes instead.
    bool open_story(main_frame& frame) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(story, ec) || !std::ifstream(story)) {
            message_box("The story file " + wxString::FromUTF8(utf8_of(story)) +
                            " could not be opened.",
                        "Uh oh!", wxOK | wxICON_INFORMATION);
            return false;
        }
        return frame.launch_game(story, {});
    }

    // Any key pressed in our windows but a lone Shift or Alt silences our
    // speech and its queue at once, as screen readers do with their own: the
    // screen reader's answer to the key is heard then, not after ours. The
    // rest of the reply then coming is shown, not said: the player who
    // silenced it meant all of it.
    int FilterEvent(wxEvent& event) override {
        if (event.GetEventType() != wxEVT_KEY_DOWN)
            return Event_Skip;
        auto& key = static_cast<wxKeyEvent&>(event);
        int code = key.GetKeyCode();
        // A key skipped on to the parent window comes here again after its
        // handler has run, and a chord's handler may have sent a command
        // (after a dialog, with keys of its own) whose reply that second
        // coming would mute: a key no newer than one seen is no new key.
        const long stamp = key.GetTimestamp();
        if (stamp != 0 && stamp <= newest_key)
            return Event_Skip;
        newest_key = std::max(newest_key, stamp);
        if (code != WXK_SHIFT && code != WXK_ALT) {
            // The reply is silenced before speech stops, so that nothing of
            // it read after the stop is said.
            if (frame)
                frame->silence_reply();
            speech_stop();
        }
        return Event_Skip;
    }

    bool OnExceptionInMainLoop() override {
        // An unexpected failure in one handler must not take the game down.
        try {
            throw;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tallowick: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "tallowick: unexpected failure\n");
        }
        return true;
    }

  private:
    const std::filesystem::path story;
    main_frame* frame = nullptr;
    long newest_key = 0; // the time of the newest key pressed, as the system gives it
};

// A failed wx assertion is reported on stderr; its own dialog would be a
// window the player never asked for and may not be able to dismiss.
void report_assertion(const wxString& file, int line, const wxString& func, const wxString& cond,
                      const wxString& msg) {
    std::fprintf(stderr, "tallowick: %s:%d %s: %s %s\n", file.utf8_str().data(), line,
                 func.utf8_str().data(), cond.utf8_str().data(), msg.utf8_str().data());
}

} // namespace
} // namespace tw

int main(int argc, char** argv) {
    tw::prepare_process();
    // The command line is read before the toolkit starts, so that --help and
    // --version need no display and open no window.
    std::filesystem::path story;
    bool options_done = false;
    for (const std::string& arg : tw::command_line_arguments(argc, argv)) {
        if (!options_done && arg == "--") {
            options_done = true;
        } else if (!options_done && arg == "--help") {
            std::fputs(tw::usage, stdout);
            return 0;
        } else if (!options_done && arg == "--version") {
            std::puts("tallowick " TALLOWICK_VERSION);
            // Last, what this system lets us hold interpreters to.
            std::puts(tw::confinement_report().c_str());
            return 0;
        } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "tallowick: unknown option %s (see tallowick --help)\n",
                         arg.c_str());
            return 2;
        } else if (!story.empty()) {
            std::fprintf(stderr, "tallowick: one story at a time (see tallowick --help)\n");
            return 2;
        } else {
            story = tw::path_from_utf8(arg);
        }
    }
    wxSetAssertHandler(tw::report_assertion);
    // A fresh wxWidgets argv: the story stays ours.
    int wx_argc = 1;
    wxApp::SetInstance(new tw::tallowick_app(story));
    if (!wxEntryStart(wx_argc, argv))
        return 2;
    int status = 2;
    if (wxTheApp->CallOnInit()) {
        wxTheApp->OnRun();
        tw::speech_close();
        status = 1;
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return status;
}
