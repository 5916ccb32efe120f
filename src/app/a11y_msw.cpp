// On Windows the window name is what screen readers announce, and the
// system's message box reads its caption and text.
#include "app/a11y.h"

#include <wx/msgdlg.h>
#include <wx/window.h>

namespace tw {

void set_accessible_name(wxWindow* window, const wxString& name) {
    window->SetName(name);
}

void make_caret_readable(wxWindow*) {}

int message_box(const wxString& text, const wxString& caption, long style) {
    return wxMessageBox(text, caption, style);
}

} // namespace tw
