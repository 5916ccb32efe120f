#include "gui/gui.h"

#include "speech/speech.h"

#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/toplevel.h>
#include <wx/utils.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

namespace guitest {
namespace {

// Never destroyed: the speech thread lives until the process ends and may
// still be recording while static objects are torn down at exit.
std::mutex& said_mutex = *new std::mutex;
std::vector<std::string>& said = *new std::vector<std::string>;

class recorder : public tw::speech_backend {
  public:
    bool say(const std::string& text) override {
        std::lock_guard lock(said_mutex);
        said.push_back(text);
        return true;
    }
    void cancel() override {}
};

} // namespace

void settle() {
    for (int i = 0; i < 3; ++i) {
        wxTheApp->ProcessPendingEvents();
        wxYield();
    }
}

bool pump_until(const std::function<bool()>& done, int bound_ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return done();
        wxTheApp->ProcessPendingEvents();
        wxYield();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

wxDialog* focused_modal() {
    wxWindow* focus = wxWindow::FindFocus();
    if (!focus)
        return nullptr;
    auto* dialog = dynamic_cast<wxDialog*>(wxGetTopLevelParent(focus));
    return dialog && dialog->IsModal() ? dialog : nullptr;
}

namespace {

wxDialog* any_modal() {
    for (wxWindow* w : wxTopLevelWindows)
        if (auto* d = dynamic_cast<wxDialog*>(w); d && d->IsModal())
            return d;
    return nullptr;
}

} // namespace

void with_modal(const std::function<void(wxDialog&)>& act, const std::function<void()>& open) {
    wxTimer timer;
    bool done = false;
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (!done) {
            if (wxDialog* d = focused_modal()) {
                done = true;
                give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                act(*d);
                return;
            }
        }
        if (std::chrono::steady_clock::now() < give_up)
            return;
        // Fail rather than hang the suite.
        timer.Stop();
        if (wxDialog* d = any_modal()) {
            wxWindow* f = wxWindow::FindFocus();
            ADD_FAILURE() << (done ? "the dialog stayed open" : "no modal dialog took the focus")
                          << "; focus is "
                          << (f ? f->GetName().utf8_string() : std::string("nowhere"));
            d->EndModal(wxID_CANCEL);
        }
    });
    timer.Start(10);
    open();
    timer.Stop();
    EXPECT_TRUE(done) << "no modal dialog took the focus";
}

void press(int keycode, int modifiers) {
    wxUIActionSimulator sim;
    sim.Char(keycode, modifiers);
    settle();
}

void type(const std::string& text) {
    wxUIActionSimulator sim;
    sim.Text(text.c_str());
    settle();
}

std::vector<wxWindow*> find_all(wxWindow* top, const wxString& text) {
    std::vector<wxWindow*> found;
    if (top->GetLabel() == text || top->GetName() == text)
        found.push_back(top);
    for (wxWindow* child : top->GetChildren()) {
        auto more = find_all(child, text);
        found.insert(found.end(), more.begin(), more.end());
    }
    return found;
}

void record_speech() {
    tw::set_speech_backend(std::make_unique<recorder>());
}

std::vector<std::string> spoken() {
    tw::speech_flush();
    std::lock_guard lock(said_mutex);
    return said;
}

void clear_spoken() {
    tw::speech_flush();
    std::lock_guard lock(said_mutex);
    said.clear();
}

temp_dir::temp_dir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tallowick-XXXXXX").string();
    path = mkdtemp(pattern.data());
}

temp_dir::~temp_dir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

} // namespace guitest

namespace {

class test_app : public wxApp {
  public:
    bool OnInit() override {
        delete wxLog::SetActiveTarget(new wxLogStderr);
        return true;
    }
};

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // A wx assertion fails the test instead of opening a dialog that would
    // hang the run.
    wxSetAssertHandler([](const wxString& file, int line, const wxString&, const wxString& cond,
                          const wxString& msg) {
        ADD_FAILURE_AT(file.utf8_string().c_str(), line)
            << "wx assertion " << cond.utf8_string() << " " << msg.utf8_string();
    });
    wxApp::SetInstance(new test_app);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit())
        return 2;
    guitest::record_speech();
    int result = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
