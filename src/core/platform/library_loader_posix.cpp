#include "core/platform/library_loader.h"

#include <dlfcn.h>

namespace tw {

library_loader::library_loader(std::initializer_list<const char*> names) {
    // Never closed: what it lends is used until the process ends.
    for (const char* name : names)
        if ((handle = dlopen(name, RTLD_NOW | RTLD_LOCAL)))
            break;
}

void* library_loader::address_of(const char* name) const {
    return dlsym(handle, name);
}

} // namespace tw
