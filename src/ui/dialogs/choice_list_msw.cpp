#include "ui/dialogs/choice_list.h"

#include "ui/accessibility.h"

#include <wx/listctrl.h>

namespace tw {
namespace {

class report_list : public choice_list {
  public:
    report_list(wxWindow* parent, const wxString& title, std::function<void()> on_activate)
        : list(new wxListCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLC_REPORT)) {
        list->InsertColumn(0, title);
        set_accessible_name(list, title);
        list->Bind(wxEVT_LIST_ITEM_ACTIVATED,
                   [on_activate = std::move(on_activate)](wxListEvent&) { on_activate(); });
    }
    wxWindow* window() override { return list; }
    void append(const wxString& row) override { list->InsertItem(list->GetItemCount(), row); }
    void focus_and_select(int row) override {
        list->Focus(row);
        list->Select(row);
    }
    int focused() const override { return static_cast<int>(list->GetFocusedItem()); }

  private:
    wxListCtrl* list;
};

} // namespace

std::unique_ptr<choice_list> make_choice_list(wxWindow* parent, const wxString& title,
                                              std::function<void()> on_activate) {
    return std::make_unique<report_list>(parent, title, std::move(on_activate));
}

} // namespace tw
