// The floor for bench/startup.py: a wx frame with the title and the three
// buttons of our first screen, laid out the same way, and nothing else (no
// core, no libcurl, no speech), linked to wxWidgets alone. What the program
// takes beyond this to show its first screen is its own.
#include <wx/app.h>
#include <wx/button.h>
#include <wx/frame.h>
#include <wx/panel.h>
#include <wx/sizer.h>

#include <cstdlib>

namespace {

class bare_app : public wxApp {
  public:
    bool OnInit() override {
        auto* frame = new wxFrame(nullptr, wxID_ANY, "Tallowick, by Brennholt.", wxDefaultPosition,
                                  wxSize(350, 250));
        auto* panel = new wxPanel(frame);
        auto* row = new wxBoxSizer(wxHORIZONTAL);
        for (const char* label : {"Open a game.", "Choose a game from our database.", "Exit!"})
            row->Add(new wxButton(panel, wxID_ANY, label), 1, wxEXPAND | wxALL, 5);
        auto* column = new wxBoxSizer(wxVERTICAL);
        column->Add(row);
        panel->SetSizer(column);
        auto* holder = new wxBoxSizer(wxVERTICAL);
        holder->Add(panel, 1, wxEXPAND);
        frame->SetSizer(holder);
        frame->Show();
        frame->Fit();
        frame->Center();
        return true;
    }
};

} // namespace

int main(int argc, char** argv) {
    // As the program does, so that both skip GTK's OpenGL probe; GDK_GL set
    // to "" in the environment keeps the probe in both.
    setenv("GDK_GL", "disable", 0);
    wxApp::SetInstance(new bare_app);
    return wxEntry(argc, argv);
}
