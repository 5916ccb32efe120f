#include "ui/typing.h"

namespace tw {

void send_typing_to(wxWindow*, wxWindow*) {
    // Windows delivers what is typed in a read-only edit control as
    // character events, dead keys and AltGr already applied; the game
    // screen's character handler moves them to the field.
}

} // namespace tw
