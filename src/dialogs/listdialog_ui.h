#pragma once
#include "dialogs/choicelist.h"

#include <wx/dialog.h>

#include <memory>
#include <vector>

namespace tw {

// A parentless dialog holding one list, headed and named by its title.
// Activating a row ends it with code 1; Escape or the close box cancel it.
class listdialog : public wxDialog {
  public:
    listdialog(const wxString& title, const std::vector<wxString>& ids, const wxString& value);
    void endit(wxCommandEvent& event);
    // The index of the row that has the focus, or -1.
    int GetValue() const;

    std::vector<wxString> ids;
    wxString orig;
    std::unique_ptr<choice_list> idlist;
};

} // namespace tw
