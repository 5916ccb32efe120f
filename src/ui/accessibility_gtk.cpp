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

#include <vector>

namespace tw {
namespace {

void set_atk_name(GtkWidget* widget, const wxString& name) {
    if (!widget)
        return;
    if (AtkObject* acc = gtk_widget_get_accessible(widget))
        atk_object_set_name(acc, name.utf8_str());
}

GtkWidget* focus_widget(wxWindow* window) {
    // A list's focus is on its tree view, inside the scrolled window that
    // wx hands out as both widgets.
    if (auto* list = dynamic_cast<wxDataViewCtrl*>(window))
        return list->GtkGetTreeView();
    return window->GetConnectWidget();
}

} // namespace

void set_accessible_name(wxWindow* window, const wxString& name) {
    window->SetName(name);
    if (window->IsTopLevel()) {
        // The window alone: its client area is a panel of its own to ATK,
        // and Orca says a named panel again after the window.
        set_atk_name(window->GetHandle(), name);
        // A wxDialog is a plain GtkWindow, which ATK calls a frame (and the
        // file chooser a "file chooser", whose title Orca never says).
        if (dynamic_cast<wxDialog*>(window))
            if (AtkObject* acc = gtk_widget_get_accessible(window->GetHandle()))
                atk_object_set_role(acc, ATK_ROLE_DIALOG);
        return;
    }
    // The widget that takes the focus, and only that: the GtkEntry or the
    // inner GtkTextView of a text control, not the scrolled window around it
    // that GetHandle() gives.
    set_atk_name(focus_widget(window), name);
}

void leave_unnamed(wxWindow* control) {
    control->SetName(wxString());
    set_atk_name(focus_widget(control), wxString());
    // wx makes each label the mnemonic label of the next control in the tab
    // order, and GTK reports that as the control's label. The labels before
    // this one go to the end of the order, where no control follows them.
    wxWindow* parent = control->GetParent();
    std::vector<wxStaticText*> labels;
    for (wxWindow* sibling : parent->GetChildren()) {
        if (sibling == control)
            break;
        if (auto* label = dynamic_cast<wxStaticText*>(sibling))
            labels.push_back(label);
    }
    for (wxStaticText* label : labels) {
        gtk_label_set_mnemonic_widget(GTK_LABEL(label->GetHandle()), nullptr);
        if (wxWindow* last = parent->GetChildren().GetLast()->GetData(); last != label)
            label->MoveAfterInTabOrder(last);
    }
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
