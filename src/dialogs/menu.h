#pragma once
#include <wx/string.h>

#include <vector>

namespace tw {

// A modal list chooser: one row per choice, the rows equal to `value`
// selected and the last of them focused. Returns the index of the focused
// row when a row is activated, or -1 when the chooser is dismissed or no
// row has the focus.
int menu(const wxString& title, const std::vector<wxString>& ids, const wxString& value);

} // namespace tw
