// Windows side of what screen readers hear: MSAA and UIA ask a window's
// wxAccessible for its name, and the system's message box reads its caption
// and text.
#include "ui/accessibility.h"

#include <wx/access.h>
#include <wx/msgdlg.h>
#include <wx/window.h>

namespace tw {
namespace {

class named : public wxAccessible {
  public:
    named(wxWindow* window, const wxString& name) : wxAccessible(window), name(name) {}
    wxAccStatus GetName(int child, wxString* out) override {
        if (child != wxACC_SELF)
            return wxACC_NOT_IMPLEMENTED;
        *out = name;
        return wxACC_OK;
    }

  private:
    wxString name;
};

} // namespace

void set_accessible_name(wxWindow* window, const wxString& name) {
    window->SetName(name);
    window->SetAccessible(new named(window, name));
}

void leave_unnamed(wxWindow* control) {
    // Without a name of its own MSAA would name it after the label before it.
    set_accessible_name(control, wxString());
}

void make_caret_readable(wxWindow*) {
    // A read-only edit control keeps its caret on Windows.
}

int message_box(const wxString& text, const wxString& caption, long style) {
    return wxMessageBox(text, caption, style);
}

} // namespace tw
