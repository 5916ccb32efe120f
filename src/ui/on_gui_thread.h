#pragma once
// The one way work reaches the GUI thread from another thread. Worker
// threads never touch a window; they hand what they have to a target that
// the GUI thread owns, and a target that has gone by then simply misses it.
#include <wx/app.h>

#include <memory>
#include <utility>

namespace tw {

// Runs `f(target)` on the GUI thread, after the events now waiting, if
// `target` still exists then. Callable from any thread.
template <class T, class F> void then_on_gui_thread(std::weak_ptr<T> target, F f) {
    if (!wxTheApp)
        return;
    wxTheApp->CallAfter([target = std::move(target), f = std::move(f)]() mutable {
        if (auto alive = target.lock())
            f(*alive);
    });
}

} // namespace tw
