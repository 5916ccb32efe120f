// The process entry: settles the save folder, opens the main window and runs
// the event loop. The program ends in main_frame::close_program().
#include "core/platform/platform.h"
#include "core/platform/save_folder.h"
#include "ui/accessibility.h"
#include "ui/main_frame.h"

#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>

#include <cstdio>
#include <exception>

namespace tw {
namespace {

class tallowick_app : public wxApp {
  public:
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
        new main_frame(*chosen);
        return true;
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
    wxSetAssertHandler(tw::report_assertion);
    wxApp::SetInstance(new tw::tallowick_app);
    if (!wxEntryStart(argc, argv))
        return 2;
    int status = 2;
    if (wxTheApp->CallOnInit()) {
        wxTheApp->OnRun();
        status = 1;
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return status;
}
