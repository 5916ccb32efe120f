#include "ui/dialogs/text_prompt.h"

#include "ui/accessibility.h"

#include <wx/textctrl.h>
#include <wx/textdlg.h>

namespace tw {

wxString ask(wxWindow* parent, const wxString& message, const wxString& default_value) {
    wxTextEntryDialog dialog(parent, message);
    set_accessible_name(&dialog, message);
    // The field is what has the focus, so it is what the screen reader names.
    for (wxWindow* child : dialog.GetChildren())
        if (auto* field = dynamic_cast<wxTextCtrl*>(child))
            set_accessible_name(field, message);
    dialog.SetValue(default_value);
    if (dialog.ShowModal() != wxID_OK)
        return wxString();
    return dialog.GetValue();
}

} // namespace tw
