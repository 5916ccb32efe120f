#include "core/catalogue/curl_api.h"

#include "core/platform/library_loader.h"

namespace tw {
namespace {

const curl_api* open_curl() {
    static library_loader lib({"libcurl.so.4", "libcurl-gnutls.so.4"});
    if (!lib.opened())
        return nullptr;
    static curl_api api;
    lib.find(api.global_init, "curl_global_init");
    lib.find(api.easy_init, "curl_easy_init");
    lib.find(api.easy_cleanup, "curl_easy_cleanup");
    lib.find(api.easy_setopt, "curl_easy_setopt");
    lib.find(api.easy_getinfo, "curl_easy_getinfo");
    lib.find(api.easy_strerror, "curl_easy_strerror");
    lib.find(api.multi_init, "curl_multi_init");
    lib.find(api.multi_cleanup, "curl_multi_cleanup");
    lib.find(api.multi_add_handle, "curl_multi_add_handle");
    lib.find(api.multi_remove_handle, "curl_multi_remove_handle");
    lib.find(api.multi_perform, "curl_multi_perform");
    lib.find(api.multi_poll, "curl_multi_poll");
    lib.find(api.multi_wakeup, "curl_multi_wakeup");
    lib.find(api.multi_info_read, "curl_multi_info_read");
    lib.find(api.multi_strerror, "curl_multi_strerror");
    if (!lib.complete() || api.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
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
