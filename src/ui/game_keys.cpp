// The game screen's keys: chords in the input field, single-key answers,
// and the output view, where the cursor keys read and typing goes to the
// input field.
#include "core/speech/speech.h"
#include "ui/game_screen.h"

#include <wx/textctrl.h>

namespace tw {
namespace {

// Runs of spaces (the status line spreads its parts over the width) become
// one.
std::string collapse_spaces(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != ' ' || (!out.empty() && out.back() != ' '))
            out += c;
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

} // namespace

void game_screen::speak_status_line() {
    auto line = collapse_spaces(status_line);
    speak(line.empty() ? "There is no status line." : line, true);
}

// Ctrl+letter and Ctrl+digit. Returns true when the key is used up.
bool game_screen::on_chord(wxKeyEvent& event) {
    int key = event.GetUnicodeKey();
    if (key == WXK_NONE)
        return false;
    switch (key >= 'A' && key <= 'Z' ? key - 'A' + 'a' : key) {
    case 'q':
        sendline("quit");
        return true;
    case 'z':
        sendline("undo");
        return true;
    case 'h':
        sendline("help");
        return true;
    case 'l':
        speak_status_line();
        return true;
    case 's':
        save_game();
        return false;
    case 'r':
        restore_game();
        return false;
    default:
        if (key >= '0' && key <= '9')
            speak(history.turns.replay(key - '0'));
        return false;
    }
}

void game_screen::on_command_key(wxKeyEvent& event) {
    handler_scope scope(*this);
    if (event.ControlDown() && on_chord(event))
        return;
    if (waiting_for_key && !event.ControlDown() && !event.AltDown() &&
        (event.GetKeyCode() == WXK_RETURN || event.GetKeyCode() == WXK_NUMPAD_ENTER)) {
        answer_key("");
        return;
    }
    if (event.GetKeyCode() == WXK_UP) {
        command_field->ChangeValue(wxString());
        command_field->AppendText(wxString::FromUTF8(history.last_command));
        Refresh();
    }
    event.Skip();
}

void game_screen::on_command_char(wxKeyEvent& event) {
    // A wait for one key is answered by the next character typed, at once.
    int c = event.GetUnicodeKey();
    if (waiting_for_key && !event.ControlDown() && !event.AltDown() && c >= ' ' &&
        c != WXK_DELETE) {
        answer_key(wxString(static_cast<wxChar>(c)).utf8_string());
        return;
    }
    event.Skip();
}

void game_screen::on_output_key(wxKeyEvent& event) {
    handler_scope scope(*this);
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
    command_field->SetFocus();
    wxString ch(static_cast<wxChar>(c));
    if (!event.ShiftDown())
        ch = ch.Lower();
    if (waiting_for_key && !event.ControlDown()) {
        answer_key(ch.utf8_string());
        return;
    }
    command_field->AppendText(ch);
    Refresh();
}

void game_screen::on_output_focus(wxFocusEvent&) {
    // Reading starts at the newest output.
    output_view->SetInsertionPoint(output_view->GetLastPosition());
}

} // namespace tw
