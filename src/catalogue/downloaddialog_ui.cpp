#include "catalogue/downloaddialog_ui.h"

#include "app/a11y.h"
#include "catalogue/catalogue.h"
#include "catalogue/fetch.h"

#include <wx/gauge.h>
#include <wx/sizer.h>

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

} // namespace

downloaddialog::downloaddialog(const std::filesystem::path& target, const std::string& uri)
    : wxDialog(nullptr, wxID_ANY, wxString()), yttimer(this) {
    progress = new focusable_gauge(this, wxID_ANY, 100);
    // wxGTK sets a native control's can-focus flag from the base class's
    // AcceptsFocus() while constructing, before the override counts.
    progress->SetCanFocus(true);
    set_accessible_name(progress, "Download Progress.");
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(progress, 1, wxEXPAND | wxALL, 5);
    SetSizerAndFit(sizer);

    Bind(wxEVT_TIMER, &downloaddialog::check_download, this, yttimer.GetId());
    Bind(wxEVT_CLOSE_WINDOW, &downloaddialog::on_close, this);
    Bind(wxEVT_CHAR_HOOK, &downloaddialog::on_char_hook, this);
    Bind(wxEVT_BUTTON, &downloaddialog::on_cancel, this, wxID_CANCEL);

    // The worker reaches only dprogress, never a window.
    worker = std::thread([this, target, uri] { fetch_to_file(uri, target, dprogress); });
    yttimer.Start(200);
    progress->SetFocus();
}

downloaddialog::~downloaddialog() {
    yttimer.Stop();
    dprogress.cancel();
    join_worker();
}

void downloaddialog::join_worker() {
    if (worker.joinable())
        worker.join();
}

void downloaddialog::check_download(wxTimerEvent&) {
    switch (dprogress.state()) {
    case download_state::failed:
        yttimer.Stop();
        join_worker();
        message_box("An error cropped up and the download failed.", "Uh oh!",
                    wxOK | wxICON_INFORMATION);
        returncode = -1;
        EndModal(1);
        return;
    case download_state::completed:
        yttimer.Stop();
        join_worker();
        progress->SetValue(100);
        returncode = 1;
        EndModal(1);
        return;
    case download_state::cancelled:
        // Only cancel_download() cancels, and it ends the dialog itself.
        return;
    case download_state::running:
        break;
    }
    if (auto percent = dprogress.percent())
        progress->SetValue(*percent);
    else
        progress->Pulse();
}

void downloaddialog::cancel_download() {
    yttimer.Stop();
    dprogress.cancel();
    // fetch_to_file removes its temporary file before it returns, so once
    // joined nothing is left of the download.
    join_worker();
    // Even if the last byte beat the cancel, the player asked not to play
    // now; a complete file left in place is used the next time.
    returncode = -1;
    if (IsModal())
        EndModal(wxID_CANCEL);
    else
        Hide();
}

void downloaddialog::on_close(wxCloseEvent&) {
    cancel_download();
}

void downloaddialog::on_char_hook(wxKeyEvent& event) {
    // Without a Cancel button wxDialog ignores Escape; here it cancels.
    if (event.GetKeyCode() == WXK_ESCAPE) {
        cancel_download();
        return;
    }
    event.Skip();
}

void downloaddialog::on_cancel(wxCommandEvent&) {
    cancel_download();
}

int download(const std::filesystem::path& savepath, const std::string& file,
             const std::string& uri) {
    downloaddialog dialog(savepath / path_from_utf8(file), uri);
    dialog.CentreOnScreen();
    dialog.ShowModal();
    return dialog.returncode;
}

} // namespace tw
