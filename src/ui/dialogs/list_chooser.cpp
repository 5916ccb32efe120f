#include "ui/dialogs/list_chooser.h"

#include "ui/accessibility.h"
#include "ui/dialogs/choice_list.h"

#include <wx/dialog.h>
#include <wx/sizer.h>

namespace tw {

int choose_from_list(const wxString& title, const std::vector<wxString>& choices,
                     const wxString& preselected) {
    wxDialog dialog(nullptr, wxID_ANY, title);
    set_accessible_name(&dialog, title);
    constexpr int activated = 1;
    auto list = make_choice_list(&dialog, title, [&dialog] { dialog.EndModal(activated); });
    for (size_t x = 0; x < choices.size(); ++x) {
        list->append(choices[x]);
        if (choices[x] == preselected)
            list->focus_and_select(static_cast<int>(x));
    }
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(list->window(), 1, wxEXPAND | wxALL, 5);
    dialog.SetSizerAndFit(sizer);
    // A list fitted to an empty or narrow column would be a sliver.
    wxSize size = dialog.GetSize();
    size.IncTo(dialog.FromDIP(wxSize(400, 300)));
    dialog.SetSize(size);
    list->window()->SetFocus();
    // The tree view keeps Escape for itself, and a dialog without a Cancel
    // button would not close on it otherwise.
    dialog.Bind(wxEVT_CHAR_HOOK, [&dialog](wxKeyEvent& event) {
        if (event.GetKeyCode() == WXK_ESCAPE)
            dialog.EndModal(wxID_CANCEL);
        else
            event.Skip();
    });
    dialog.CentreOnScreen();
    // Dismissing is not choosing: Escape in the restore chooser must not
    // throw away the game being played.
    if (dialog.ShowModal() != activated)
        return -1;
    return list->focused();
}

} // namespace tw
