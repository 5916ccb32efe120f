#pragma once
// The list inside the chooser. GTK's report-mode wxListCtrl is invisible to
// AT-SPI (no rows, no header, no name), so there the list is a native tree
// view; elsewhere it is the platform's list control. Callers see no
// difference.
#include <wx/string.h>

#include <functional>
#include <memory>

class wxWindow;

namespace tw {

class choice_list {
  public:
    virtual ~choice_list() = default;
    virtual wxWindow* window() = 0;
    virtual void append(const wxString& row) = 0;
    // Selects `row` and gives it the focus; earlier selections stay.
    virtual void focus_and_select(int row) = 0;
    // The row that has the focus, or -1.
    virtual int focused() const = 0;
};

// One column headed `title`; the list has no name of its own, its dialog
// being named by the same words. `on_activate` runs when a row is activated
// (Enter or double click).
std::unique_ptr<choice_list> make_choice_list(wxWindow* parent, const wxString& title,
                                              std::function<void()> on_activate);

} // namespace tw
