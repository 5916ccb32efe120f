#include "dialogs/listdialog_ui.h"

#include "dialogs/menu.h"

#include <wx/sizer.h>

namespace tw {

listdialog::listdialog(const wxString& title, const std::vector<wxString>& ids_,
                       const wxString& value)
    : wxDialog(nullptr, wxID_ANY, wxString()), ids(ids_), orig(value) {
    idlist = make_choice_list(this, title, [this] {
        wxCommandEvent unused;
        endit(unused);
    });
    for (size_t x = 0; x < ids.size(); ++x) {
        idlist->append(ids[x]);
        if (ids[x] == value)
            idlist->focus_and_select(static_cast<int>(x));
    }
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(idlist->window(), 1, wxEXPAND | wxALL, 5);
    SetSizerAndFit(sizer);
    // A list fitted to an empty or narrow column would be a sliver.
    wxSize size = GetSize();
    size.IncTo(FromDIP(wxSize(400, 300)));
    SetSize(size);
    idlist->window()->SetFocus();
    // The tree view keeps Escape for itself, and a dialog without a Cancel
    // button would not close on it otherwise.
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        if (event.GetKeyCode() == WXK_ESCAPE)
            EndModal(wxID_CANCEL);
        else
            event.Skip();
    });
}

void listdialog::endit(wxCommandEvent&) {
    EndModal(1);
}

int listdialog::GetValue() const {
    return idlist->focused();
}

int menu(const wxString& title, const std::vector<wxString>& ids, const wxString& value) {
    listdialog dialog(title, ids, value);
    dialog.CentreOnScreen();
    // Dismissing is not choosing: Escape in the restore chooser must not
    // throw away the game being played.
    if (dialog.ShowModal() != 1)
        return -1;
    return dialog.GetValue();
}

} // namespace tw
