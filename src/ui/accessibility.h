#pragma once
// What a screen reader hears. Every named control and every message box
// goes through here, so that the names reach the platform's accessibility
// layer and not only wx's own window name.
#include <wx/string.h>

class wxWindow;

namespace tw {

// Sets wx's window name and the accessible name that a screen reader
// announces, on the widget that really takes the focus; a top-level window's
// on the window alone, never again on what it holds.
void set_accessible_name(wxWindow* window, const wxString& name);

// Leaves a control with no name and no label of its own, for the one control
// of a dialog named by its question: the screen reader says the dialog's
// name and then the control's, and would say the question twice.
void leave_unnamed(wxWindow* control);

// Makes a read-only multi-line text control readable with the caret keys.
void make_caret_readable(wxWindow* text);

// A modal message box without a parent, announced by its caption and its
// text. style: wxOK or wxYES_NO, with an icon flag. Returns wxOK, wxYES or
// wxNO (wxNO also when dismissed).
int message_box(const wxString& text, const wxString& caption, long style);

} // namespace tw
