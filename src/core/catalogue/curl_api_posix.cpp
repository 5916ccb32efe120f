#include "core/catalogue/curl_api.h"

#include <dlfcn.h>

namespace tw {
namespace {

const curl_api* open_curl() {
    void* lib = nullptr;
    for (const char* name : {"libcurl.so.4", "libcurl-gnutls.so.4"})
        if ((lib = dlopen(name, RTLD_NOW | RTLD_LOCAL)))
            break;
    if (!lib)
        return nullptr;
    static curl_api api;
    bool complete = true;
    auto get = [&](auto& fn, const char* name) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(lib, name));
        complete &= fn != nullptr;
    };
    get(api.global_init, "curl_global_init");
    get(api.easy_init, "curl_easy_init");
    get(api.easy_cleanup, "curl_easy_cleanup");
    get(api.easy_setopt, "curl_easy_setopt");
    get(api.easy_getinfo, "curl_easy_getinfo");
    get(api.easy_strerror, "curl_easy_strerror");
    get(api.multi_init, "curl_multi_init");
    get(api.multi_cleanup, "curl_multi_cleanup");
    get(api.multi_add_handle, "curl_multi_add_handle");
    get(api.multi_remove_handle, "curl_multi_remove_handle");
    get(api.multi_perform, "curl_multi_perform");
    get(api.multi_poll, "curl_multi_poll");
    get(api.multi_wakeup, "curl_multi_wakeup");
    get(api.multi_info_read, "curl_multi_info_read");
    get(api.multi_strerror, "curl_multi_strerror");
    if (!complete || api.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
        return nullptr;
    return &api;
}

} // namespace

const curl_api* load_curl() {
    // Once per process, before the first handle; a function-local static
    // is initialised exactly once even when two workers start together.
    static const curl_api* const api = open_curl();
    return api;
}

} // namespace tw
