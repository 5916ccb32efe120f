#include "app/a11y.h"
#include "app/mywin.h"
#include "dialogs/menu.h"
#include "game/saves.h"

namespace tw {

void Mywin::savedialog() {
    wxString answer = ask(this, "What would you like to name your game?", wxString());
    if (answer.empty())
        return;
    sendline("save\n" + answer.utf8_string() + ".sav");
}

void Mywin::restoredialog() {
    auto files = list_save_files(savepath);
    if (files.empty()) {
        message_box("There are no save files.", "Uh oh!", wxOK | wxICON_INFORMATION);
        return;
    }
    std::vector<wxString> ids;
    for (const auto& f : files)
        ids.push_back(wxString::FromUTF8(f));
    int index = menu("Please choose a save file.", ids, ids[0]);
    if (index < 0 || static_cast<size_t>(index) >= files.size())
        return;
    sendline("restore\n" + files[static_cast<size_t>(index)]);
}

} // namespace tw
