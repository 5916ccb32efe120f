// GTK makes no character events for a read-only text view, and its input
// method takes the key before wx's handler lets anyone else see it; a
// character rebuilt from the key would lose what the input method makes of
// dead keys and compositions. So the key itself goes, whole, to the field's
// entry, whose input method turns it into text as if it had been typed
// there: from an emission hook, which sees every key before any handler.
#include "ui/typing.h"

#include <wx/window.h>

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <vector>

namespace tw {
namespace {

struct route {
    GtkWidget* view;
    GtkWidget* field;
};
std::vector<route> routes; // GUI thread only

bool is_dead_key(guint keyval) {
    return keyval >= GDK_KEY_dead_grave && keyval <= GDK_KEY_dead_greek;
}

gboolean pass_typing_on(GSignalInvocationHint*, guint count, const GValue* values, gpointer) {
    if (count < 2)
        return TRUE;
    auto* widget = static_cast<GtkWidget*>(g_value_get_object(&values[0]));
    auto* key = static_cast<GdkEventKey*>(g_value_get_boxed(&values[1]));
    auto it = std::find_if(routes.begin(), routes.end(),
                           [widget](const route& r) { return r.view == widget; });
    if (it == routes.end() || !key || (key->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)))
        return TRUE;
    gunichar c = gdk_keyval_to_unicode(key->keyval);
    // Tab, Enter, Escape, Backspace and the cursor keys are for moving about
    // and reading, and stay with the view.
    if (!is_dead_key(key->keyval) && (c < 0x20 || c == 0x7f))
        return TRUE;
    gtk_widget_grab_focus(it->field);
    if (GTK_IS_EDITABLE(it->field))
        gtk_editable_set_position(GTK_EDITABLE(it->field), -1);
    gtk_widget_event(it->field, reinterpret_cast<GdkEvent*>(key));
    return TRUE; // keep the hook
}

void forget(GtkWidget* view, gpointer) {
    std::erase_if(routes, [view](const route& r) { return r.view == view; });
}

} // namespace

void send_typing_to(wxWindow* view, wxWindow* field) {
    static const gulong hook = g_signal_add_emission_hook(
        g_signal_lookup("key-press-event", GTK_TYPE_WIDGET), 0, pass_typing_on, nullptr,
        nullptr);
    (void)hook;
    GtkWidget* from = view->GetConnectWidget();
    routes.push_back({from, field->GetConnectWidget()});
    g_signal_connect(from, "destroy", G_CALLBACK(forget), nullptr);
}

} // namespace tw
