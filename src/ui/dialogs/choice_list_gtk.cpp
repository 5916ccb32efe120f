#include "ui/dialogs/choice_list.h"

#include "core/text/type_ahead.h"

#include <wx/dataview.h>

#include <string>
#include <vector>

namespace tw {
namespace {

class tree_list : public choice_list {
  public:
    tree_list(wxWindow* parent, const wxString& title, std::function<void()> on_activate)
        : list(new wxDataViewListCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                      wxDV_MULTIPLE | wxDV_ROW_LINES)) {
        list->AppendTextColumn(title, wxDATAVIEW_CELL_INERT, wxCOL_WIDTH_AUTOSIZE);
        list->Bind(wxEVT_DATAVIEW_ITEM_ACTIVATED,
                   [on_activate = std::move(on_activate)](wxDataViewEvent&) { on_activate(); });
        // GTK's tree view finds nothing by typing in wx's model: typing a
        // row's first letters moves to it here, as a native list does.
        list->Bind(wxEVT_CHAR, [this](wxKeyEvent& event) {
            int c = event.GetUnicodeKey();
            if (c == WXK_NONE || c <= ' ' || event.ControlDown() || event.AltDown()) {
                event.Skip();
                return;
            }
            int now = focused();
            auto row = finder.find(wxString(static_cast<wxChar>(c)).utf8_string(),
                                   type_ahead::clock::now(), rows,
                                   now < 0 ? std::nullopt : std::optional<size_t>(now));
            if (!row)
                return;
            list->UnselectAll();
            focus_and_select(static_cast<int>(*row));
            list->EnsureVisible(list->RowToItem(static_cast<int>(*row)));
        });
    }
    wxWindow* window() override { return list; }
    void append(const wxString& row) override {
        rows.push_back(row.utf8_string());
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
    std::vector<std::string> rows;
    type_ahead finder;
};

} // namespace

std::unique_ptr<choice_list> make_choice_list(wxWindow* parent, const wxString& title,
                                              std::function<void()> on_activate) {
    return std::make_unique<tree_list>(parent, title, std::move(on_activate));
}

} // namespace tw
