// The window calls of the Glk API, and the window tree.
#include "glk/library.h"

#include <set>

namespace tw::glk {
namespace {

std::unique_ptr<glk_window_struct> make_window(glui32 type, glui32 rock) {
    switch (type) {
    case wintype_Blank:
        return std::make_unique<blank_window>(rock);
    case wintype_TextBuffer:
        return std::make_unique<buffer_window>(rock);
    case wintype_TextGrid:
        return std::make_unique<grid_window>(rock);
    case wintype_Graphics:
        if (library::get().graphics_supported)
            return std::make_unique<graphics_window>(rock);
        return nullptr;
    default:
        return nullptr;
    }
}

// Every window gets a stream, pairs too (printing to one does nothing).
glk_window_struct* add_window(std::unique_ptr<glk_window_struct> made) {
    auto& lib = library::get();
    made->id = next_window_id();
    glk_window_struct* win = lib.windows.add(std::move(made));
    win->stream = lib.add_stream(std::make_unique<window_stream>(win));
    return win;
}

void replace_child(glk_window_struct* parent, glk_window_struct* old_child,
                   glk_window_struct* new_child) {
    auto& lib = library::get();
    new_child->parent = parent;
    if (!parent) {
        lib.root = new_child;
        return;
    }
    auto* pair = static_cast<pair_window*>(parent);
    (pair->child1 == old_child ? pair->child1 : pair->child2) = new_child;
}

void collect(glk_window_struct* win, std::vector<glk_window_struct*>& out) {
    if (auto* pair = dynamic_cast<pair_window*>(win)) {
        collect(pair->child1, out);
        collect(pair->child2, out);
    }
    out.push_back(win);
}

bool is_ancestor(const glk_window_struct* ancestor, const glk_window_struct* win) {
    for (; win; win = win->parent)
        if (win == ancestor)
            return true;
    return false;
}

} // namespace

glui32 next_window_id() {
    static glui32 id = 0;
    return ++id;
}

glk_window_struct* library::window_by_id(glui32 id) const {
    for (auto& win : windows)
        if (win->id == id)
            return win.get();
    return nullptr;
}

void library::rearrange() {
    lay_out(root, screen);
    windows_changed_ = true;
}

void library::close_window(glk_window_struct* win) {
    glk_window_struct* pair = win->parent;
    if (!pair) {
        root = nullptr;
    } else {
        auto* p = static_cast<pair_window*>(pair);
        glk_window_struct* sibling = p->child1 == win ? p->child2 : p->child1;
        replace_child(pair->parent, pair, sibling);
        p->child1 = p->child2 = nullptr;
    }
    std::vector<glk_window_struct*> doomed;
    collect(win, doomed);
    if (pair)
        doomed.push_back(pair);
    std::set<glk_window_struct*> gone(doomed.begin(), doomed.end());
    // A split whose key window closes keeps its place but measures nothing.
    for (auto& w : windows)
        if (auto* p = dynamic_cast<pair_window*>(w.get()); p && gone.count(p->key))
            p->key = nullptr;
    for (auto* w : doomed) {
        cancel_input(w);
        close_stream(w->stream, nullptr);
        windows.destroy(w);
    }
    rearrange();
}

} // namespace tw::glk

using namespace tw::glk;

winid_t glk_window_open(winid_t split, glui32 method, glui32 size, glui32 wintype, glui32 rock) {
    auto& lib = library::get();
    if (lib.root ? !split : split != nullptr)
        return nullptr;
    glui32 direction = method & winmethod_DirMask;
    if (split && direction > winmethod_Below)
        return nullptr;
    auto made = make_window(wintype, rock);
    if (!made)
        return nullptr;
    winid_t win = add_window(std::move(made));
    if (!split) {
        lib.root = win;
    } else {
        auto pair_made = std::make_unique<pair_window>();
        pair_made->direction = direction;
        pair_made->division = (method & winmethod_DivisionMask) == winmethod_Fixed
                                  ? winmethod_Fixed
                                  : winmethod_Proportional;
        pair_made->border = (method & winmethod_BorderMask) != winmethod_NoBorder;
        pair_made->size = size;
        pair_made->key = win;
        auto* pair = static_cast<pair_window*>(add_window(std::move(pair_made)));
        replace_child(split->parent, split, pair);
        pair->child1 = split;
        pair->child2 = win;
        split->parent = pair;
        win->parent = pair;
    }
    lib.rearrange();
    return win;
}

void glk_window_close(winid_t win, stream_result_t* result) {
    if (!win)
        return;
    if (result)
        *result = {win->stream->read_count, win->stream->write_count};
    library::get().close_window(win);
}

winid_t glk_window_get_root(void) {
    return library::get().root;
}

winid_t glk_window_iterate(winid_t win, glui32* rockptr) {
    return library::get().windows.next(win, rockptr);
}

glui32 glk_window_get_rock(winid_t win) {
    return win ? win->rock : 0;
}

glui32 glk_window_get_type(winid_t win) {
    return win ? win->type : 0;
}

winid_t glk_window_get_parent(winid_t win) {
    return win ? win->parent : nullptr;
}

winid_t glk_window_get_sibling(winid_t win) {
    if (!win || !win->parent)
        return nullptr;
    auto* pair = static_cast<pair_window*>(win->parent);
    return pair->child1 == win ? pair->child2 : pair->child1;
}

void glk_window_get_size(winid_t win, glui32* widthptr, glui32* heightptr) {
    auto [width, height] =
        win ? window_size(*win, library::get().screen) : std::pair<glui32, glui32>{};
    if (widthptr)
        *widthptr = width;
    if (heightptr)
        *heightptr = height;
}

void glk_window_set_arrangement(winid_t win, glui32 method, glui32 size, winid_t keywin) {
    auto* pair = dynamic_cast<pair_window*>(win);
    if (!pair)
        return;
    if (keywin && (keywin->type == wintype_Pair || !is_ancestor(pair, keywin)))
        return;
    glui32 direction = method & winmethod_DirMask;
    if (direction > winmethod_Below)
        return;
    bool vertical = direction == winmethod_Left || direction == winmethod_Right;
    if (vertical != pair->vertical())
        return; // a split can be resized, not turned
    bool backward = direction == winmethod_Left || direction == winmethod_Above;
    if (backward != pair->backward())
        std::swap(pair->child1, pair->child2); // the windows stay where they are
    pair->direction = direction;
    pair->division = (method & winmethod_DivisionMask) == winmethod_Fixed ? winmethod_Fixed
                                                                          : winmethod_Proportional;
    pair->border = (method & winmethod_BorderMask) != winmethod_NoBorder;
    pair->size = size;
    if (keywin)
        pair->key = keywin;
    library::get().rearrange();
}

void glk_window_get_arrangement(winid_t win, glui32* methodptr, glui32* sizeptr,
                                winid_t* keywinptr) {
    auto* pair = dynamic_cast<pair_window*>(win);
    if (methodptr)
        *methodptr = pair ? pair->direction | pair->division |
                                (pair->border ? winmethod_Border : winmethod_NoBorder)
                          : 0;
    if (sizeptr)
        *sizeptr = pair ? pair->size : 0;
    if (keywinptr)
        *keywinptr = pair ? pair->key : nullptr;
}

void glk_window_clear(winid_t win) {
    if (win)
        win->clear();
}

void glk_window_move_cursor(winid_t win, glui32 xpos, glui32 ypos) {
    if (auto* grid = dynamic_cast<grid_window*>(win))
        grid->move_cursor(xpos, ypos);
}

strid_t glk_window_get_stream(winid_t win) {
    return win ? win->stream : nullptr;
}

void glk_window_set_echo_stream(winid_t win, strid_t str) {
    if (win && str != win->stream)
        win->echo_stream = str;
}

strid_t glk_window_get_echo_stream(winid_t win) {
    return win ? win->echo_stream : nullptr;
}

void glk_set_window(winid_t win) {
    library::get().current_stream = win ? win->stream : nullptr;
}
