#include "app/a11y.h"
#include "app/mywin.h"
#include "catalogue/catalogue.h"
#include "catalogue/downloaddialog_ui.h"
#include "dialogs/menu.h"

#include <system_error>

namespace tw {

void Mywin::database(wxCommandEvent&) {
    auto cat = load_catalogue();
    if (!cat.ok()) {
        message_box(wxString::FromUTF8(cat.error), "Uh oh!", wxOK | wxICON_INFORMATION);
        return;
    }
    std::vector<wxString> lines;
    lines.reserve(cat.entries.size());
    for (const auto& entry : cat.entries)
        lines.push_back(wxString::FromUTF8(entry.line()));
    int choice = menu("Please choose a game you wish to play.", lines, lines[0]);
    if (choice < 0 || static_cast<size_t>(choice) >= cat.entries.size())
        return;
    auto where = locate_game(cat.entries[static_cast<size_t>(choice)], savepath);
    if (!where.ok()) {
        message_box(wxString::FromUTF8(where.error), "Uh oh!", wxOK | wxICON_INFORMATION);
        return;
    }
    // A game downloaded before is played from the save folder as it is.
    std::error_code ec;
    if (!std::filesystem::exists(where.path, ec)) {
        if (download(savepath, where.file, where.uri) == -1)
            return;
    }
    launch_game(where.path);
}

} // namespace tw
