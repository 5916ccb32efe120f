#pragma once
#include <wx/string.h>

class wxWindow;

namespace tw {

// Asks for one line of text with the toolkit's text-entry dialog, titled and
// named by `message`. Returns "" when cancelled: saving under a name the
// player backed out of would be a surprise.
wxString ask(wxWindow* parent, const wxString& message, const wxString& default_value = {});

} // namespace tw
