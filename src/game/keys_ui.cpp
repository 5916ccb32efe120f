#include "app/mywin.h"
#include "speech/speech.h"

#include <wx/textctrl.h>

namespace tw {

void Mywin::keypress2(wxKeyEvent& event) {
    game_handler_scope scope(*this);
    if (event.ControlDown()) {
        wxChar key = static_cast<wxChar>(event.GetUnicodeKey());
        if (key != WXK_NONE) {
            wxChar c = static_cast<wxChar>(wxTolower(key));
            switch (c) {
            case 'q':
                sendline("quit");
                return;
            case 'z':
                sendline("undo");
                return;
            case 'h':
                sendline("help");
                return;
            case 's':
                savedialog();
                break;
            case 'r':
                restoredialog();
                break;
            case 'c':
                event.Skip();
                break;
            default:
                if (c >= '0' && c <= '9')
                    speak(turns.replay(c - '0'));
            }
        }
    }
    if (event.GetKeyCode() == WXK_UP && t1) {
        t1->Clear();
        t1->AppendText(wxString::FromUTF8(last_input));
        Refresh();
    }
    event.Skip();
}

void Mywin::keypress(wxKeyEvent& event) {
    int c = event.GetUnicodeKey();
    // Tab, Enter, Escape and Backspace carry a character code too, but are
    // keys for moving about, not text for the input field.
    if (c == WXK_NONE || c < ' ' || c == WXK_DELETE) {
        event.Skip();
        return;
    }
    if (event.ControlDown() && event.GetKeyCode() == 'C') {
        speak("Copied to clipboard.");
        event.Skip();
        return;
    }
    if (!t1)
        return;
    t1->SetFocus();
    wxString ch(static_cast<wxChar>(c));
    if (!event.ShiftDown())
        ch = ch.Lower();
    t1->AppendText(ch);
    Refresh();
}

void Mywin::shiftpos(wxFocusEvent&) {
    if (t2)
        t2->SetInsertionPoint(t2->GetLastPosition());
}

} // namespace tw
