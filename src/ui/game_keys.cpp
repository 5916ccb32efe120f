// The game screen's keys: chords, which work wherever the focus is on the
// screen; the command history; single-key answers; and the output view,
// where the cursor keys read and typing goes to the input field.
#include "core/speech/speech.h"
#include "ui/game_screen.h"
#include "ui/main_frame.h"

#include <wx/textctrl.h>

namespace tw {
namespace {

bool is_enter(int code) {
    return code == WXK_RETURN || code == WXK_NUMPAD_ENTER;
}

} // namespace

void game_screen::speak_status_line() {
    speak(status_line.empty() ? "There is no status line." : status_line, true);
}

game_screen::chord game_screen::on_chord(wxKeyEvent& event) {
    const int code = event.GetKeyCode();
    if (event.ShiftDown() && (code == WXK_UP || code == WXK_DOWN)) {
        frame.change_speech_rate(code == WXK_UP ? 1 : -1);
        return chord::done;
    }
    if (code == '=' || code == '+' || code == WXK_NUMPAD_ADD || code == '-' ||
        code == WXK_NUMPAD_SUBTRACT) {
        change_text_size(code == '-' || code == WXK_NUMPAD_SUBTRACT ? -1 : 1);
        return chord::done;
    }
    int key = event.GetUnicodeKey();
    switch (key >= 'A' && key <= 'Z' ? key - 'A' + 'a' : key) {
    case 'q':
        sendline("quit");
        return chord::done;
    case 'z':
        sendline("undo");
        return chord::done;
    case 'h':
        sendline("help");
        return chord::done;
    case 'l':
        speak_status_line();
        return chord::done;
    case 's':
        save_game();
        return chord::done_then_field;
    case 'r':
        restore_game();
        return chord::done_then_field;
    default:
        if (key < '0' || key > '9')
            return chord::none;
        speak(history.turns.replay(key - '0'));
        return chord::done_then_field;
    }
}

void game_screen::walk_history(bool back) {
    auto command = back ? history.commands.earlier(command_field->GetValue().utf8_string())
                        : history.commands.later();
    if (!command) {
        speak(back ? "No earlier command." : "No later command.");
        return;
    }
    command_field->ChangeValue(wxString::FromUTF8(*command));
    command_field->SetInsertionPointEnd();
}

void game_screen::on_command_key(wxKeyEvent& event) {
    handler_scope scope(*this);
    const int code = event.GetKeyCode();
    if (event.ControlDown()) {
        auto done = on_chord(event);
        if (done == chord::done)
            return;
        if (done == chord::none && code == WXK_UP) {
            // Ctrl+Up: the last command, whatever the walk.
            command_field->ChangeValue(wxString::FromUTF8(history.commands.last()));
            command_field->SetInsertionPointEnd();
            return;
        }
    } else if (waiting_for_key && !event.AltDown() && is_enter(code)) {
        answer_key("");
        return;
    } else if (code == WXK_UP || code == WXK_DOWN) {
        walk_history(code == WXK_UP);
        return;
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
    if (event.ControlDown() && on_chord(event) != chord::none)
        return;
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
