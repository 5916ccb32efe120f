#pragma once
// Ownership of the Glk objects, and the dispatch layer's registries: the
// program (glulxe) is told of every object made and destroyed, and of every
// array the library holds on to between calls.
#include "glk/glk_api.h"

#include <memory>
#include <vector>

namespace tw::glk {

struct dispatch_hooks {
    gidispatch_rock_t (*register_object)(void* object, glui32 object_class) = nullptr;
    void (*unregister_object)(void* object, glui32 object_class, gidispatch_rock_t rock) = nullptr;
    gidispatch_rock_t (*register_array)(void* array, glui32 length, char* typecode) = nullptr;
    void (*unregister_array)(void* array, glui32 length, char* typecode,
                             gidispatch_rock_t rock) = nullptr;
};
dispatch_hooks& dispatch();

// Every object of one class, owned here. Iteration order is arbitrary, as
// Glk allows: removal moves the last object into the gap.
template <class T, glui32 object_class> class object_list {
  public:
    T* add(std::unique_ptr<T> object) {
        T* added = object.get();
        added->list_index = items_.size();
        items_.push_back(std::move(object));
        if (dispatch().register_object)
            added->dispatch_rock = dispatch().register_object(added, object_class);
        return added;
    }

    void destroy(T* object) {
        if (dispatch().unregister_object)
            dispatch().unregister_object(object, object_class, object->dispatch_rock);
        size_t index = object->list_index;
        std::unique_ptr<T> doomed = std::move(items_[index]);
        if (index + 1 != items_.size()) {
            items_[index] = std::move(items_.back());
            items_[index]->list_index = index;
        }
        items_.pop_back();
    }

    T* next(const T* after) const {
        size_t index = after ? after->list_index + 1 : 0;
        return index < items_.size() ? items_[index].get() : nullptr;
    }

    // As glk_*_iterate: the next object, its rock put in `rockptr`.
    T* next(const T* after, glui32* rockptr) const {
        T* found = next(after);
        if (rockptr)
            *rockptr = found ? found->rock : 0;
        return found;
    }

    // The program set its registry after objects already existed.
    void register_existing() {
        for (auto& object : items_)
            object->dispatch_rock = dispatch().register_object(object.get(), object_class);
    }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

  private:
    std::vector<std::unique_ptr<T>> items_;
};

// An array of the program's that the library keeps until the call that
// completes it (line input, a memory stream). The program is told when it
// is taken and when it is given back, and must see its final contents then.
class retained_array {
  public:
    retained_array() = default;
    retained_array(void* data, glui32 length, bool unicode);
    retained_array(retained_array&& other) noexcept { *this = std::move(other); }
    retained_array& operator=(retained_array&& other) noexcept;
    ~retained_array() { release(); }

    void release();

  private:
    void* data_ = nullptr;
    glui32 length_ = 0;
    bool unicode_ = false;
    bool registered_ = false;
    gidispatch_rock_t rock_{};
};

} // namespace tw::glk
