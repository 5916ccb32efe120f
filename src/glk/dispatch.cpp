// The calls of the dispatch layer that the library itself provides: the
// program's registries of objects and retained arrays.
#include "glk/library.h"

namespace tw::glk {
namespace {

char latin1_array_type[] = "&+#!Cn";
char unicode_array_type[] = "&+#!Iu";

} // namespace

dispatch_hooks& dispatch() {
    static dispatch_hooks hooks;
    return hooks;
}

retained_array::retained_array(void* data, glui32 length, bool unicode)
    : data_(data), length_(length), unicode_(unicode) {
    if (data_ && dispatch().register_array) {
        rock_ = dispatch().register_array(data_, length_,
                                          unicode_ ? unicode_array_type : latin1_array_type);
        registered_ = true;
    }
}

retained_array& retained_array::operator=(retained_array&& other) noexcept {
    if (this != &other) {
        release();
        data_ = other.data_;
        length_ = other.length_;
        unicode_ = other.unicode_;
        registered_ = other.registered_;
        rock_ = other.rock_;
        other.registered_ = false;
    }
    return *this;
}

void retained_array::release() {
    if (!registered_)
        return;
    registered_ = false;
    if (dispatch().unregister_array)
        dispatch().unregister_array(data_, length_,
                                    unicode_ ? unicode_array_type : latin1_array_type, rock_);
}

} // namespace tw::glk

using namespace tw::glk;

void gidispatch_set_object_registry(gidispatch_rock_t (*regi)(void* obj, glui32 objclass),
                                    void (*unregi)(void* obj, glui32 objclass,
                                                   gidispatch_rock_t objrock)) {
    dispatch().register_object = regi;
    dispatch().unregister_object = unregi;
    if (!regi)
        return;
    auto& lib = library::get();
    lib.windows.register_existing();
    lib.streams.register_existing();
    lib.filerefs.register_existing();
    lib.schannels.register_existing();
}

gidispatch_rock_t gidispatch_get_objrock(void* obj, glui32 objclass) {
    switch (objclass) {
    case gidisp_Class_Window:
        return static_cast<winid_t>(obj)->dispatch_rock;
    case gidisp_Class_Stream:
        return static_cast<strid_t>(obj)->dispatch_rock;
    case gidisp_Class_Fileref:
        return static_cast<frefid_t>(obj)->dispatch_rock;
    case gidisp_Class_Schannel:
        return static_cast<schanid_t>(obj)->dispatch_rock;
    default:
        return {};
    }
}

void gidispatch_set_retained_registry(gidispatch_rock_t (*regi)(void* array, glui32 len,
                                                                char* typecode),
                                      void (*unregi)(void* array, glui32 len, char* typecode,
                                                     gidispatch_rock_t objrock)) {
    dispatch().register_array = regi;
    dispatch().unregister_array = unregi;
}

// Only a library that can restore its whole state needs these; ours keeps
// them unused.
void gidispatch_set_autorestore_registry(long (*)(void*, glui32, char*, gidispatch_rock_t, int*),
                                         gidispatch_rock_t (*)(long, glui32, char*, void**)) {}
