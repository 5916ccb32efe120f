#include "app/mywin.h"

#include "app/a11y.h"
#include "game/launch.h"

#include <wx/accel.h>
#include <wx/button.h>
#include <wx/filedlg.h>
#include <wx/panel.h>
#include <wx/sizer.h>

#include <cstdio>
#include <unistd.h>

namespace tw {

std::filesystem::path savepath = "games";

Mywin::Mywin(wxWindow* parent, const wxString& title)
    : wxFrame(parent, wxID_ANY, title, wxDefaultPosition, wxSize(350, 250)) {
    set_accessible_name(this, "Tallowick, by Brennholt.");
    Bind(wxEVT_CLOSE_WINDOW, &Mywin::closeme, this);
    timer.SetOwner(this);
    Bind(wxEVT_TIMER, &Mywin::check_game_status, this, timer.GetId());
    firstscreen();
}

void Mywin::closeme(wxEvent&) {
    if (handle)
        retire_session();
    Destroy();
    std::fflush(nullptr);
    // Reader, writer and speech threads may still run; leaving without
    // static destructors keeps them from racing the teardown.
    _exit(1);
}

void Mywin::firstscreen() {
    panel = new wxPanel(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxWANTS_CHARS);
    auto* column = new wxBoxSizer(wxVERTICAL);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    auto add_button = [&](const wxString& label, auto handler) {
        auto* b = new wxButton(panel, -1, label);
        b->Bind(wxEVT_BUTTON, handler, this);
        row->Add(b, 1, wxEXPAND | wxALIGN_LEFT | wxALL, 5);
        return b;
    };
    add_button("Open a game.", &Mywin::openfile)->SetFocus();
    add_button("Choose a game from our database.", &Mywin::database);
    add_button("Exit!", &Mywin::closeme);
    column->Add(row, 0, 0, 0);
    panel->SetSizer(column);
    showpanel(panel);
}

void Mywin::showpanel(wxPanel* p) {
    // An empty table replaces whatever the previous screen installed.
    SetAcceleratorTable(wxAcceleratorTable());
    p->Show();
    p->Fit();
    p->Layout();
    p->Update();
    // Without a sizer of its own the frame cannot fit itself to the panel,
    // and buttons would be cut off.
    auto* holder = new wxBoxSizer(wxVERTICAL);
    holder->Add(p, 1, wxEXPAND);
    SetSizer(holder);
    Show();
    Fit();
    Update();
    Refresh();
    Center();
}

void Mywin::openfile(wxCommandEvent&) {
    wxString chosen;
    {
        wxFileDialog dialog(this, "Please choose the game to open.", wxString(), wxString(),
                            story_wildcard(), wxFD_OPEN | wxFD_FILE_MUST_EXIST);
        if (dialog.ShowModal() == wxID_CANCEL)
            return;
        chosen = dialog.GetPath();
    }
    if (chosen.empty())
        return;
    launch_game(std::filesystem::path(chosen.utf8_string()));
}

} // namespace tw
