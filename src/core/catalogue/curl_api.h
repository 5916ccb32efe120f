#pragma once
// The libcurl functions the download worker uses, as a table. On Linux the
// library is loaded when the first download starts: linked from the start,
// it and the TLS, Kerberos and LDAP libraries it pulls in would cost every
// start-up megabytes and tens of milliseconds that most sessions never use.
#include <curl/curl.h>

#include <string>

namespace tw {

struct curl_api {
    decltype(&curl_global_init) global_init;
    decltype(&curl_easy_init) easy_init;
    decltype(&curl_easy_cleanup) easy_cleanup;
    decltype(&curl_easy_setopt) easy_setopt;
    decltype(&curl_easy_getinfo) easy_getinfo;
    decltype(&curl_easy_strerror) easy_strerror;
    decltype(&curl_multi_init) multi_init;
    decltype(&curl_multi_cleanup) multi_cleanup;
    decltype(&curl_multi_add_handle) multi_add_handle;
    decltype(&curl_multi_remove_handle) multi_remove_handle;
    decltype(&curl_multi_perform) multi_perform;
    decltype(&curl_multi_poll) multi_poll;
    decltype(&curl_multi_wakeup) multi_wakeup;
    decltype(&curl_multi_info_read) multi_info_read;
    decltype(&curl_multi_strerror) multi_strerror;
};

// The library, initialised once; null when it cannot be had.
const curl_api* load_curl();

} // namespace tw
