#pragma once
// Downloads one story file over http or https with libcurl. Meant to run on
// a worker thread of its own; it reports only through download_progress.
#include "core/catalogue/download_progress.h"

#include <chrono>
#include <filesystem>
#include <string>

namespace tw {

struct fetch_options {
    // Give up when no connection is made within this time.
    std::chrono::milliseconds connect_timeout{30000};
    // Give up when fewer than low_speed_limit bytes per second arrive for
    // low_speed_time. Tests shorten these; the program keeps the defaults.
    long low_speed_limit = 1;
    std::chrono::seconds low_speed_time{60};
};

struct fetch_result {
    download_state state = download_state::failed; // completed, failed or cancelled
    std::string message;                           // why it failed; empty otherwise
    long http_status = 0;                          // the last status seen, 0 if none

    bool ok() const { return state == download_state::completed; }
};

// Downloads `uri` into `target`. The body goes to a hidden temporary file
// beside `target` (".<name>.part-XXXXXX") and is renamed onto `target` only
// when the whole body arrived; after a failure or a cancel the temporary file
// is removed and nothing is left under `target`'s name. Only http and https
// are allowed, for the first request and for every redirect (at most 10).
// An HTTP status of 400 or more, and an empty body, are failures.
//
// Sets progress's final state just before returning, after the file work is
// done. progress.cancel() from any thread stops the transfer at once.
fetch_result fetch_to_file(const std::string& uri, const std::filesystem::path& target,
                           download_progress& progress, const fetch_options& opts = {});

} // namespace tw
