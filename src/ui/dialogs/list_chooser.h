#pragma once
// The list chooser: a parentless modal dialog holding one list, the dialog
// titled and named by `title`, the list's one column headed by it.
#include <wx/string.h>

#include <vector>

namespace tw {

// One row per choice; the rows equal to `preselected` are selected and the
// last of them focused. Returns the index of the focused row when a row is
// activated (Enter or a double click), or -1 when the chooser is dismissed
// (Escape, the close box) or no row has the focus.
int choose_from_list(const wxString& title, const std::vector<wxString>& choices,
                     const wxString& preselected);

} // namespace tw
