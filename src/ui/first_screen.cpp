#include "ui/first_screen.h"

#include "core/catalogue/file_names.h"
#include "core/catalogue/unpack.h"
#include "core/story/formats.h"
#include "core/text/utf8.h"
#include "ui/accessibility.h"
#include "ui/dialogs/download_dialog.h"
#include "ui/dialogs/list_chooser.h"

#include <wx/button.h>
#include <wx/filedlg.h>
#include <wx/sizer.h>

#include <algorithm>
#include <string_view>
#include <system_error>
#include <vector>

namespace tw {
namespace {

// The file dialog's filters: every story Tallowick plays, then each format.
// GTK matches patterns case-sensitively, so the upper-case names (ZORK1.Z5)
// are listed too, as Windows lists them. Which interpreter plays a file is
// told from its content, not from the filter it was found under.
wxString story_wildcard() {
    wxString wildcard;
    for (const auto& filter : story_file_filters()) {
        wxString lower, upper;
        for (auto e : filter.extensions) {
            lower += (lower.empty() ? "*." : ";*.") + wxString::FromUTF8(e.data(), e.size());
            upper += ";*." + wxString::FromUTF8(e.data(), e.size()).Upper();
        }
        wildcard +=
            (wildcard.empty() ? "" : "|") + wxString::FromUTF8(filter.label) + "|" + lower + upper;
    }
    return wildcard;
}

} // namespace

first_screen::first_screen(wxWindow* parent, first_screen_host& host)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxWANTS_CHARS), host(host) {
    auto* column = new wxBoxSizer(wxVERTICAL);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    auto add_button = [&](const wxString& label, auto handler) {
        auto* b = new wxButton(this, wxID_ANY, label);
        b->Bind(wxEVT_BUTTON, handler);
        row->Add(b, 1, wxEXPAND | wxALIGN_LEFT | wxALL, 5);
        return b;
    };
    add_button("Open a game.", [this](wxCommandEvent& e) { open_game(e); })->SetFocus();
    add_button("Choose a game from our database.",
               [this](wxCommandEvent& e) { choose_from_catalogue(e); });
    add_button("Exit!", [&host](wxCommandEvent&) { host.close_program(); });
    column->Add(row, 0, 0, 0);
    SetSizer(column);
}

void first_screen::open_game(wxCommandEvent&) {
    wxString chosen;
    {
        const wxString title = "Please choose the game to open.";
        wxFileDialog dialog(host.dialog_parent(), title, wxString(), wxString(), story_wildcard(),
                            wxFD_OPEN | wxFD_FILE_MUST_EXIST);
        // Said first, as a dialog, before the list of files in it.
        set_accessible_name(&dialog, title);
        if (dialog.ShowModal() == wxID_CANCEL)
            return;
        chosen = dialog.GetPath();
    }
    if (!chosen.empty())
        host.launch_game(path_from_utf8(chosen.utf8_string()), {});
}

void first_screen::choose_from_catalogue(wxCommandEvent&) {
    auto cat = load_catalogue();
    if (!cat.ok()) {
        message_box(wxString::FromUTF8(cat.error), "Uh oh!", wxOK | wxICON_INFORMATION);
        return;
    }
    std::vector<wxString> lines;
    for (const auto& entry : cat.entries)
        lines.push_back(wxString::FromUTF8(entry.line()));
    catalogue_folder = cat.folder;
    int choice = choose_from_list("Please choose a game you wish to play.", lines, lines[0]);
    if (choice < 0 || static_cast<size_t>(choice) >= cat.entries.size())
        return;
    const auto& entry = cat.entries[static_cast<size_t>(choice)];
    auto where = locate_game(entry, host.save_folder());
    if (!where.ok()) {
        message_box(wxString::FromUTF8(where.error), "Uh oh!", wxOK | wxICON_INFORMATION);
        return;
    }
    if (auto story = find_or_fetch(entry, where))
        host.launch_game(story->path, story->note);
}

std::optional<first_screen::story_found> first_screen::find_or_fetch(const catalogue_entry& entry,
                                                                     const game_location& where) {
    std::error_code ec;
    const auto title = wxString::FromUTF8(entry.title);
    // A game downloaded before is played from the save folder as it is; one
    // that came with the catalogue (the sample, installed) from beside it.
    for (const auto& folder : {host.save_folder(), catalogue_folder})
        if (!folder.empty() && std::filesystem::is_regular_file(folder / where.path.filename(), ec))
            return story_found{folder / where.path.filename(), {}};
    if (uri_extension(where.uri) != "zip" && uri_extension(where.uri) != "ZIP") {
        if (!download(where.path, where.uri, title))
            return std::nullopt;
        return story_found{where.path, {}};
    }
    // A zip: its story is unpacked under the game's name, and found there
    // the next time.
    auto stem = where.file.substr(0, where.file.size() - 4);
    if (auto before = unpacked_before(host.save_folder(), stem))
        return story_found{*before, {}};
    if (!download(where.path, where.uri, title))
        return std::nullopt;
    auto archive_name = where.uri.substr(where.uri.find_last_of('/') + 1);
    auto unpacked = unpack_story(where.path, host.save_folder(), stem,
                                 {entry.title, archive_name.substr(0, archive_name.rfind('.'))});
    std::filesystem::remove(where.path, ec);
    if (unpacked.story.empty()) {
        message_box(wxString::FromUTF8(unpacked.problem), "Uh oh!", wxOK | wxICON_INFORMATION);
        return std::nullopt;
    }
    return story_found{unpacked.story, unpacked.note};
}

} // namespace tw
