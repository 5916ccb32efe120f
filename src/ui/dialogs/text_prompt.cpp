#include "ui/dialogs/text_prompt.h"

#include "ui/accessibility.h"

#include <wx/textctrl.h>
#include <wx/textdlg.h>

namespace tw {

wxString ask(wxWindow* parent, const wxString& message, const wxString& default_value) {
    wxTextEntryDialog dialog(parent, message, message);
    set_accessible_name(&dialog, message);
    // The question is said once, as the dialog's name, and not again for
    // the field that has the focus.
    for (wxWindow* child : dialog.GetChildren())
        if (auto* field = dynamic_cast<wxTextCtrl*>(child))
            leave_unnamed(field);
    dialog.SetValue(default_value);
    if (dialog.ShowModal() != wxID_OK)
        return wxString();
    return dialog.GetValue();
}

} // namespace tw
