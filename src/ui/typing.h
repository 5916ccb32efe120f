#pragma once
// Typing in a read-only view that lands in the command field, exactly as
// the keyboard made it: Caps Lock, AltGr and dead keys (é, ñ) included, and
// an input method's text. One implementation per toolkit.
class wxWindow;

namespace tw {

// Keys that type something in `view` go to `field`, at the end of its text,
// and the focus with them. Keys that only move about, and chords with Ctrl
// or Alt, stay with `view`.
void send_typing_to(wxWindow* view, wxWindow* field);

} // namespace tw
