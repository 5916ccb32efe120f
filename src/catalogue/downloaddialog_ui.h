#pragma once
// The download dialog: one focusable progress gauge, named for the screen
// reader, fed by a worker thread through a download_progress. Closing it
// cancels the transfer at once.
#include "catalogue/progress.h"

#include <wx/dialog.h>
#include <wx/timer.h>

#include <filesystem>
#include <string>
#include <thread>

class wxGauge;

namespace tw {

class downloaddialog : public wxDialog {
  public:
    // Starts downloading `uri` into `target` at once.
    downloaddialog(const std::filesystem::path& target, const std::string& uri);
    ~downloaddialog() override;

    // Every 200 ms: moves the gauge, and ends the dialog when the worker has
    // finished.
    void check_download(wxTimerEvent& event);

    wxGauge* progress = nullptr;
    download_progress dprogress;
    wxTimer yttimer;
    int returncode = -1; // 1 when the file is in place, -1 otherwise

  private:
    // Close box, Escape or wxID_CANCEL: stop the transfer and end.
    void cancel_download();
    void on_close(wxCloseEvent& event);
    void on_char_hook(wxKeyEvent& event);
    void on_cancel(wxCommandEvent& event);
    // Waits for the worker; after cancel() it returns promptly.
    void join_worker();

    std::thread worker;
};

// Downloads `uri` into savepath / file (file is a UTF-8 file name) with the
// dialog shown modally. Returns 1 on success, -1 on failure or cancel; a
// failure has been told to the player, a cancel needs no telling.
int download(const std::filesystem::path& savepath, const std::string& file,
             const std::string& uri);

} // namespace tw
