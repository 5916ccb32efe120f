#include "core/catalogue/curl_api.h"

namespace tw {

const curl_api* load_curl() {
    // Linked in whole on Windows: there is nothing to load later.
    static const curl_api api{
        &curl_global_init,      &curl_easy_init,           &curl_easy_cleanup,  &curl_easy_setopt,
        &curl_easy_getinfo,     &curl_easy_strerror,       &curl_multi_init,    &curl_multi_cleanup,
        &curl_multi_add_handle, &curl_multi_remove_handle, &curl_multi_perform, &curl_multi_poll,
        &curl_multi_wakeup,     &curl_multi_info_read,     &curl_multi_strerror};
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready ? &api : nullptr;
}

} // namespace tw
