#include "ui/dialogs/choice_list.h"

#include <wx/listctrl.h>

namespace tw {
namespace {

// A report-view list control: MSAA and UIA read its rows and column header
// as they are.
struct report_list : choice_list {
    explicit report_list(wxListView* list) : list(list) {}
    wxWindow* window() override { return list; }
    void append(const wxString& row) override {
        list->InsertItem(list->GetItemCount(), row);
        // As wide as the widest row or the header, so nothing is cut off.
        list->SetColumnWidth(0, wxLIST_AUTOSIZE_USEHEADER);
    }
    void focus_and_select(int row) override {
        list->Focus(row);
        list->Select(row);
    }
    int focused() const override { return static_cast<int>(list->GetFocusedItem()); }

    wxListView* const list;
};

} // namespace

std::unique_ptr<choice_list> make_choice_list(wxWindow* parent, const wxString& title,
                                              std::function<void()> on_activate) {
    auto* list = new wxListView(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLC_REPORT);
    list->InsertColumn(0, title);
    list->Bind(wxEVT_LIST_ITEM_ACTIVATED,
               [on_activate = std::move(on_activate)](wxListEvent&) { on_activate(); });
    return std::make_unique<report_list>(list);
}

} // namespace tw
