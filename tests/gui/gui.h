#pragma once
// Helpers for tests that drive real windows: they run under Xvfb, send real
// key presses through XTEST and wait on events, never on the clock.
#include <wx/dialog.h>
#include <wx/timer.h>
#include <wx/uiaction.h>
#include <wx/window.h>

#include <functional>
#include <string>
#include <vector>

namespace guitest {

// Runs the event loop until `done` holds, or gives up after a generous
// bound so a broken test fails instead of hanging. Returns `done()`.
bool pump_until(const std::function<bool()>& done, int bound_ms = 10000);

// Lets queued events run.
void settle();

// The modal dialog that has the focus now, if any.
wxDialog* focused_modal();

// Runs `act` once a modal dialog has the keyboard focus, from inside its
// modal loop; `open` is what opens the dialog and waits for it.
void with_modal(const std::function<void(wxDialog&)>& act, const std::function<void()>& open);

// Presses keys in the window that has the X input focus.
void press(int keycode, int modifiers = wxMOD_NONE);
void type(const std::string& text);

// Every window below `top` (itself included) whose label or name is `text`.
std::vector<wxWindow*> find_all(wxWindow* top, const wxString& text);

// A speech backend that records what the program says.
void record_speech();
std::vector<std::string> spoken();
void clear_spoken();

// A temporary directory, removed by the destructor.
struct temp_dir {
    temp_dir();
    ~temp_dir();
    std::string path;
};

} // namespace guitest
