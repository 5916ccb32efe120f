// The game screen's keys: chords, which work wherever the focus is on the
// screen; the command history; answers to a wait for one key; and the
// output view, where the cursor keys read and typing goes to the input
// field.
#include "ui/game_screen.h"

#include "core/sound/sound.h"
#include "core/speech/speech.h"
#include "core/text/chords.h"

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

game_screen::chord_done game_screen::on_chord(wxKeyEvent& event) {
    chord_key key;
    key.shift = event.ShiftDown();
    switch (event.GetKeyCode()) {
    case WXK_UP:
    case WXK_NUMPAD_UP:
        key.special = chord_key::up;
        break;
    case WXK_DOWN:
    case WXK_NUMPAD_DOWN:
        key.special = chord_key::down;
        break;
    case WXK_NUMPAD_ADD:
        key.special = chord_key::plus;
        break;
    case WXK_NUMPAD_SUBTRACT:
        key.special = chord_key::minus;
        break;
    case WXK_PAGEUP:
    case WXK_PAGEDOWN:
        key.special = event.GetKeyCode() == WXK_PAGEUP ? chord_key::page_up : chord_key::page_down;
        break;
    default:
        if (event.GetUnicodeKey() != WXK_NONE)
            key.character = static_cast<char32_t>(event.GetUnicodeKey());
        break;
    }
    auto chord = chord_for(key);
    switch (chord.action) {
    case chord::none:
        return chord_done::none;
    case chord::quit:
        conversation.command("quit");
        return chord_done::done;
    case chord::undo:
        conversation.command("undo");
        return chord_done::done;
    case chord::help:
        speak(chords_help());
        conversation.command("help");
        return chord_done::done;
    case chord::status_line:
        conversation.speak_status_line();
        return chord_done::done;
    case chord::save:
        conversation.save();
        return chord_done::done_then_field;
    case chord::restore:
        conversation.restore();
        return chord_done::done_then_field;
    case chord::choose_link:
        conversation.choose_link();
        return chord_done::done_then_field;
    case chord::replay:
        speak(history.turns.replay(chord.digit));
        return chord_done::done_then_field;
    case chord::faster:
    case chord::slower:
        host.change_speech_rate(chord.action == chord::faster ? 1 : -1);
        return chord_done::done;
    case chord::larger:
    case chord::smaller:
        change_text_size(chord.action == chord::larger ? 1 : -1);
        return chord_done::done;
    case chord::sounds_on_off:
    case chord::sounds_louder:
    case chord::sounds_softer:
    case chord::descriptions_on_off:
        speak(control_sounds(chord.action), true);
        return chord_done::done;
    case chord::braille:
        host.toggle_braille();
        return chord_done::done;
    }
    return chord_done::none;
}

bool game_screen::answer_special_key(wxKeyEvent& event) {
    // While the game waits for one key, the keys it knows are its own:
    // arrows in a menu, Enter, Escape. Tab still moves between controls.
    if (!conversation.waits_for_key() || event.AltDown())
        return false;
    auto key = special_key(event);
    return key && conversation.press(*key);
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
        if (done == chord_done::done)
            return;
        if (done == chord_done::none && code == WXK_UP) {
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
    if (text && !is_chord(event) && conversation.press({key_press::none, text->utf8_string()}))
        return;
    event.Skip();
}

void game_screen::on_output_key(wxKeyEvent& event) {
    handler_scope scope(*this);
    if (is_chord(event) && on_chord(event) != chord_done::none)
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
    if (!conversation.press({key_press::none, text->utf8_string()}))
        command_field->AppendText(*text);
}

void game_screen::on_output_focus(wxFocusEvent&) {
    // Reading starts at the newest output.
    output_view->SetInsertionPoint(output_view->GetLastPosition());
}

} // namespace tw
