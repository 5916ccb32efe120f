#include "ui/dialogs/download_dialog.h"

#include "core/catalogue/fetch.h"
#include "ui/accessibility.h"

#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/sizer.h>
#include <wx/timer.h>

#include <thread>

namespace tw {
namespace {

// A gauge normally refuses the focus; this one takes it so that the screen
// reader lands on it and reads its name and value.
class focusable_gauge : public wxGauge {
  public:
    using wxGauge::wxGauge;
    bool AcceptsFocus() const override { return true; }
    bool AcceptsFocusFromKeyboard() const override { return true; }
};

class download_dialog : public wxDialog {
  public:
    download_dialog(const std::filesystem::path& target, const std::string& uri,
                    const wxString& title);
    ~download_dialog() override;

    bool completed = false;

  private:
    // Every 200 ms: moves the gauge, and ends the dialog once the worker has
    // finished.
    void on_tick(wxTimerEvent& event);
    // The close box, Escape: stop the transfer and end.
    void cancel();

    wxGauge* gauge = nullptr;
    download_progress progress; // the worker writes, the GUI thread reads
    std::string failure;        // why it failed, written by the worker
    wxTimer poll_timer;
    std::thread worker;
};

download_dialog::download_dialog(const std::filesystem::path& target, const std::string& uri,
                                 const wxString& title)
    : wxDialog(nullptr, wxID_ANY, title), poll_timer(this) {
    set_accessible_name(this, title);
    gauge = new focusable_gauge(this, wxID_ANY, 100);
    // wxGTK sets a native control's can-focus flag from the base class's
    // AcceptsFocus() while constructing, before the override counts.
    gauge->SetCanFocus(true);
    set_accessible_name(gauge, "Download Progress.");
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(gauge, 1, wxEXPAND | wxALL, 5);
    SetSizerAndFit(sizer);

    Bind(wxEVT_TIMER, &download_dialog::on_tick, this, poll_timer.GetId());
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { cancel(); });
    // Without a Cancel button wxDialog ignores Escape; here it cancels.
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        if (event.GetKeyCode() == WXK_ESCAPE)
            cancel();
        else
            event.Skip();
    });

    // The worker reaches only `progress` and `failure`, never a window; the
    // GUI thread reads `failure` once the worker has been joined.
    worker = std::thread([this, target, uri] {
        auto result = fetch_to_file(uri, target, progress);
        failure = std::move(result.message);
    });
    poll_timer.Start(200);
    gauge->SetFocus();
}

download_dialog::~download_dialog() {
    poll_timer.Stop();
    progress.cancel();
    if (worker.joinable())
        worker.join();
}

void download_dialog::on_tick(wxTimerEvent&) {
    switch (progress.state()) {
    case download_state::failed:
        poll_timer.Stop();
        worker.join();
        message_box("An error cropped up and the download failed. " +
                        wxString::FromUTF8(failure),
                    "Uh oh!", wxOK | wxICON_INFORMATION);
        EndModal(wxID_ABORT);
        return;
    case download_state::completed:
        poll_timer.Stop();
        worker.join();
        gauge->SetValue(100);
        completed = true;
        EndModal(wxID_OK);
        return;
    case download_state::cancelled: // only cancel() cancels, and it ends the dialog
        return;
    case download_state::running:
        break;
    }
    if (auto percent = progress.percent())
        gauge->SetValue(*percent);
    else
        gauge->Pulse();
}

void download_dialog::cancel() {
    poll_timer.Stop();
    progress.cancel();
    // fetch_to_file removes its temporary file before it returns, so once
    // joined nothing is left of the download.
    if (worker.joinable())
        worker.join();
    // Even if the last byte beat the cancel, the player asked not to play
    // now; a complete file left in place is used the next time.
    completed = false;
    if (IsModal())
        EndModal(wxID_CANCEL);
    else
        Hide();
}

} // namespace

bool download(const std::filesystem::path& target, const std::string& uri, const wxString& game) {
    // A title of its own ("Curses!") keeps its stop.
    bool stopped = !game.empty() && wxString(".!?").Contains(game.Last());
    download_dialog dialog(target, uri, "Downloading " + game + (stopped ? "" : "."));
    dialog.CentreOnScreen();
    dialog.ShowModal();
    return dialog.completed;
}

} // namespace tw
