// GTK side of what screen readers hear: wx's SetName never reaches ATK, and
// GTK announces its own message dialogs as "Information" or "Question"
// rather than by their caption, so both are done here by hand.
#include "ui/accessibility.h"

#include <wx/button.h>
#include <wx/dataview.h>
#include <wx/dialog.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/window.h>

#include <gtk/gtk.h>

namespace tw {
namespace {

void set_atk_name(GtkWidget* widget, const wxString& name) {
    if (!widget)
        return;
    if (AtkObject* acc = gtk_widget_get_accessible(widget))
        atk_object_set_name(acc, name.utf8_str());
}

} // namespace

void set_accessible_name(wxWindow* window, const wxString& name) {
    window->SetName(name);
    // The widget that takes the focus is what the screen reader names: the
    // GtkEntry or the inner GtkTextView of a text control, not the outer
    // scrolled window that GetHandle() gives.
    set_atk_name(window->GetConnectWidget(), name);
    if (window->GetHandle() != window->GetConnectWidget())
        set_atk_name(window->GetHandle(), name);
    // A list's focus is on its tree view, inside the scrolled window that wx
    // hands out as both widgets.
    if (auto* list = dynamic_cast<wxDataViewCtrl*>(window))
        set_atk_name(list->GtkGetTreeView(), name);
}

void make_caret_readable(wxWindow* text) {
    // A non-editable GtkTextView hides its caret, and the arrow keys then
    // scroll the view instead of moving through the text.
    if (GtkWidget* w = text->GetConnectWidget(); w && GTK_IS_TEXT_VIEW(w))
        gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(w), TRUE);
}

int message_box(const wxString& text, const wxString& caption, long style) {
    wxDialog box(nullptr, wxID_ANY, caption, wxDefaultPosition, wxDefaultSize,
                 wxDEFAULT_DIALOG_STYLE);
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* message = new wxStaticText(&box, wxID_ANY, text);
    top->Add(message, 1, wxEXPAND | wxALL, 10);

    bool yes_no = (style & wxYES_NO) == wxYES_NO;
    auto* buttons = new wxStdDialogButtonSizer;
    wxButton* first;
    if (yes_no) {
        first = new wxButton(&box, wxID_YES);
        buttons->AddButton(first);
        buttons->AddButton(new wxButton(&box, wxID_NO));
        box.SetEscapeId(wxID_NO);
        box.SetAffirmativeId(wxID_YES);
    } else {
        first = new wxButton(&box, wxID_OK);
        buttons->AddButton(first);
        box.SetEscapeId(wxID_OK);
    }
    buttons->Realize();
    for (int id : {wxID_YES, wxID_NO})
        box.Bind(
            wxEVT_BUTTON, [&box, id](wxCommandEvent&) { box.EndModal(id); }, id);
    top->Add(buttons, 0, wxEXPAND | wxALL, 10);
    box.SetSizerAndFit(top);
    box.Centre();
    first->SetDefault();
    first->SetFocus();

    // Announced as an alert: its caption, then its message.
    if (AtkObject* acc = gtk_widget_get_accessible(box.GetHandle())) {
        atk_object_set_role(acc, ATK_ROLE_ALERT);
        atk_object_set_name(acc, caption.utf8_str());
        atk_object_set_description(acc, text.utf8_str());
    }

    int result = box.ShowModal();
    if (yes_no)
        return result == wxID_YES ? wxYES : wxNO;
    return wxOK;
}

} // namespace tw
