#include "ui/dialogs/choice_list.h"

#include "ui/accessibility.h"

#include <wx/dataview.h>

namespace tw {
namespace {

class tree_list : public choice_list {
  public:
    tree_list(wxWindow* parent, const wxString& title, std::function<void()> on_activate)
        : list(new wxDataViewListCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                      wxDV_MULTIPLE | wxDV_ROW_LINES)) {
        list->AppendTextColumn(title, wxDATAVIEW_CELL_INERT, wxCOL_WIDTH_AUTOSIZE);
        set_accessible_name(list, title);
        list->Bind(wxEVT_DATAVIEW_ITEM_ACTIVATED,
                   [on_activate = std::move(on_activate)](wxDataViewEvent&) { on_activate(); });
    }
    wxWindow* window() override { return list; }
    void append(const wxString& row) override {
        wxVector<wxVariant> values;
        values.push_back(wxVariant(row));
        list->AppendItem(values);
    }
    void focus_and_select(int row) override {
        list->SelectRow(static_cast<unsigned>(row));
        list->SetCurrentItem(list->RowToItem(row));
    }
    int focused() const override {
        wxDataViewItem item = list->GetCurrentItem();
        return item.IsOk() ? list->ItemToRow(item) : -1;
    }

  private:
    wxDataViewListCtrl* list;
};

} // namespace

std::unique_ptr<choice_list> make_choice_list(wxWindow* parent, const wxString& title,
                                              std::function<void()> on_activate) {
    return std::make_unique<tree_list>(parent, title, std::move(on_activate));
}

} // namespace tw
