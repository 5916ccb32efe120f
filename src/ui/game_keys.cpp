// The game screen's keys: chords, which work wherever the focus is on the
// screen; the command history; answers to a wait for one key; and the
// output view, where the cursor keys read and typing goes to the input
// field.
#include "core/speech/speech.h"
#include "ui/game_screen.h"

#include <wx/textctrl.h>

namespace tw {
namespace {

// Ctrl with a key, and not AltGr, which Windows reports as Ctrl and Alt.
bool is_chord(const wxKeyEvent& event) {
    return event.ControlDown() && !event.AltDown();
}

// A key that has no character, as the game's menus and questions use it.
std::optional<key_press> special_key(const wxKeyEvent& event) {
    key_press key;
    switch (event.GetKeyCode()) {
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
        key.special = key_press::enter;
        break;
    case WXK_ESCAPE:
        key.special = key_press::escape;
        break;
    case WXK_BACK:
        key.special = key_press::backspace;
        break;
    case WXK_LEFT:
    case WXK_NUMPAD_LEFT:
        key.special = key_press::left;
        break;
    case WXK_RIGHT:
    case WXK_NUMPAD_RIGHT:
        key.special = key_press::right;
        break;
    case WXK_UP:
    case WXK_NUMPAD_UP:
        key.special = key_press::up;
        break;
    case WXK_DOWN:
    case WXK_NUMPAD_DOWN:
        key.special = key_press::down;
        break;
    case WXK_HOME:
    case WXK_NUMPAD_HOME:
        key.special = key_press::home;
        break;
    case WXK_END:
    case WXK_NUMPAD_END:
        key.special = key_press::end;
        break;
    case WXK_PAGEUP:
    case WXK_NUMPAD_PAGEUP:
        key.special = key_press::page_up;
        break;
    case WXK_PAGEDOWN:
    case WXK_NUMPAD_PAGEDOWN:
        key.special = key_press::page_down;
        break;
    default:
        if (event.GetKeyCode() >= WXK_F1 && event.GetKeyCode() <= WXK_F12) {
            key.special = key_press::function;
            key.number = event.GetKeyCode() - WXK_F1 + 1;
            break;
        }
        return std::nullopt;
    }
    return key;
}

// A character typed, as the keyboard made it: Caps Lock, AltGr and dead
// keys are already in the character event's text.
std::optional<wxString> typed_text(const wxKeyEvent& event) {
    int c = event.GetUnicodeKey();
    // Tab, Enter, Escape and Backspace carry a character code too, but are
    // keys for moving about, not text.
    if (c == WXK_NONE || c < ' ' || c == WXK_DELETE)
        return std::nullopt;
    return wxString(static_cast<wxChar>(c));
}

} // namespace

void game_screen::speak_status_line() {
    speak(status_line.empty() ? "There is no status line." : status_line, true);
}

game_screen::chord game_screen::on_chord(wxKeyEvent& event) {
    const int code = event.GetKeyCode();
    if (event.ShiftDown() && (code == WXK_UP || code == WXK_DOWN)) {
        host.change_speech_rate(code == WXK_UP ? 1 : -1);
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

bool game_screen::answer_special_key(wxKeyEvent& event) {
    // While the game waits for one key, the keys it knows are its own:
    // arrows in a menu, Enter, Escape. Tab still moves between controls.
    if (!waiting || waiting->kind != input_request::key || event.AltDown())
        return false;
    auto key = special_key(event);
    if (!key)
        return false;
    answer_key(*key);
    return true;
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
    if (is_chord(event)) {
        auto done = on_chord(event);
        if (done == chord::done)
            return;
        if (done == chord::none && code == WXK_UP) {
            // Ctrl+Up: the last command, whatever the walk.
            command_field->ChangeValue(wxString::FromUTF8(history.commands.last()));
            command_field->SetInsertionPointEnd();
            return;
        }
    } else if (answer_special_key(event)) {
        return;
    } else if (code == WXK_UP || code == WXK_DOWN) {
        walk_history(code == WXK_UP);
        return;
    }
    event.Skip();
}

void game_screen::on_command_char(wxKeyEvent& event) {
    // A wait for one key is answered by the next character typed, at once.
    auto text = typed_text(event);
    if (text && waiting && waiting->kind == input_request::key && !is_chord(event)) {
        answer_key({key_press::none, text->utf8_string()});
        return;
    }
    event.Skip();
}

void game_screen::on_output_key(wxKeyEvent& event) {
    handler_scope scope(*this);
    if (is_chord(event) && on_chord(event) != chord::none)
        return;
    if (is_chord(event) && event.GetKeyCode() == 'C') {
        speak("Copied to clipboard.");
    } else if (is_chord(event) && event.GetKeyCode() >= 'A' && event.GetKeyCode() <= 'Z') {
        // Ctrl with a letter that is no chord types that letter, as the
        // view has no commands of its own for it.
        command_field->SetFocus();
        command_field->AppendText(wxString(static_cast<wxChar>(event.GetKeyCode() - 'A' + 'a')));
        return;
    }
    // The cursor keys read; a key with a character comes back as a
    // character event.
    event.Skip();
}

void game_screen::on_output_char(wxKeyEvent& event) {
    handler_scope scope(*this);
    auto text = typed_text(event);
    if (!text || is_chord(event)) {
        event.Skip();
        return;
    }
    command_field->SetFocus();
    if (waiting && waiting->kind == input_request::key) {
        answer_key({key_press::none, text->utf8_string()});
        return;
    }
    command_field->AppendText(*text);
}

void game_screen::on_output_focus(wxFocusEvent&) {
    // Reading starts at the newest output.
    output_view->SetInsertionPoint(output_view->GetLastPosition());
}

} // namespace tw
