#include "app/a11y.h"
#include "app/mywin.h"

#include <wx/textctrl.h>
#include <wx/textdlg.h>

namespace tw {

wxString Mywin::ask(wxWindow* parent, const wxString& message, const wxString& default_value) {
    wxTextEntryDialog dialog(parent, message);
    set_accessible_name(&dialog, message);
    // The field is what has the focus, so it is what the screen reader names.
    for (wxWindow* child : dialog.GetChildren())
        if (auto* field = dynamic_cast<wxTextCtrl*>(child))
            set_accessible_name(field, message);
    dialog.SetValue(default_value);
    // A cancelled prompt is no answer: saving under a name the player backed
    // out of would be a surprise.
    if (dialog.ShowModal() != wxID_OK)
        return wxString();
    return dialog.GetValue();
}

} // namespace tw
