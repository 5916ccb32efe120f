#include "core/catalogue/fetch.h"

#include "core/catalogue/curl_api.h"
#include "core/platform/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

namespace tw {
namespace {

struct transfer {
    std::FILE* file = nullptr;
    download_progress* progress = nullptr;
    int write_errno = 0;
};

size_t on_body(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<transfer*>(user);
    size_t n = size * count;
    if (t->progress->cancel_requested())
        return 0;
    if (n > 0 && std::fwrite(data, 1, n, t->file) != n) {
        t->write_errno = errno ? errno : EIO;
        return 0;
    }
    t->progress->add_received(n);
    return n;
}

int on_progress(void* user, curl_off_t dltotal, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<transfer*>(user);
    t->progress->set_total(dltotal > 0 ? static_cast<std::uint64_t>(dltotal) : 0);
    return t->progress->cancel_requested() ? 1 : 0;
}

// Why the server would not give the file, in the player's words.
std::string status_reason(long status) {
    std::string code = " (error " + std::to_string(status) + ").";
    if (status == 404 || status == 410)
        return "The server has no game at that address" + code;
    if (status == 401 || status == 403)
        return "The server does not allow the game to be downloaded" + code;
    if (status >= 500)
        return "The server failed to send the game; it may work later" + code;
    return "The server did not send the game" + code;
}

// Why the transfer failed, in the player's words; libcurl's own words after
// them, for anyone who helps.
std::string transfer_reason(CURLcode code, const std::string& detail) {
    std::string why;
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        why = "The server's name could not be found. Is the computer connected to the internet?";
        break;
    case CURLE_COULDNT_CONNECT:
        why = "The server could not be reached.";
        break;
    case CURLE_OPERATION_TIMEDOUT:
        why = "The server stopped sending the game.";
        break;
    case CURLE_UNSUPPORTED_PROTOCOL:
        why = "The server sent the download on to an address that is neither http nor https.";
        break;
    case CURLE_TOO_MANY_REDIRECTS:
        why = "The server sent the download on from address to address too many times.";
        break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
        why = "A secure connection to the server could not be made.";
        break;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
        why = "The connection to the server broke off.";
        break;
    default:
        why = "The download failed.";
        break;
    }
    return why + " (" + detail + ")";
}

std::string system_message(int err) {
    return std::generic_category().message(err);
}

fetch_result run(const std::string& uri, const std::filesystem::path& target,
                 download_progress& progress, const fetch_options& opts) {
    fetch_result result;
    if (progress.cancel_requested()) {
        result.state = download_state::cancelled;
        return result;
    }
    const curl_api* curl = load_curl();
    if (!curl) {
        result.message = "The download could not be started: libcurl could not be loaded.";
        return result;
    }

    // From here every way out but a commit, an exception included, removes
    // the new file and leaves nothing under the game's name.
    atomic_file file(target);
    if (!file.file()) {
        result.message = "The story file could not be created: " + file.error().message() + ".";
        return result;
    }

    // Declared before the handles, which point at them until cleaned up.
    transfer t{file.file(), &progress, 0};
    char errbuf[CURL_ERROR_SIZE] = {};
    std::unique_ptr<CURL, decltype(curl->easy_cleanup)> easy(curl->easy_init(), curl->easy_cleanup);
    std::unique_ptr<CURLM, decltype(curl->multi_cleanup)> multi(curl->multi_init(),
                                                                curl->multi_cleanup);
    if (!easy || !multi) {
        result.message = "The download could not be started.";
        return result;
    }

    CURL* c = easy.get();
    curl->easy_setopt(c, CURLOPT_URL, uri.c_str());
    curl->easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl->easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl->easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl->easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
    curl->easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl->easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    curl->easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl->easy_setopt(c, CURLOPT_NOSIGNAL, 1L); // signals cannot reach the right thread
    curl->easy_setopt(c, CURLOPT_BUFFERSIZE, 1048576L);
    curl->easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS,
                      static_cast<long>(opts.connect_timeout.count()));
    curl->easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, opts.low_speed_limit);
    curl->easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(opts.low_speed_time.count()));
#if LIBCURL_VERSION_NUM >= 0x075700
    // A cancel during a slow name lookup must not wait for the resolver
    // thread; it finishes and frees itself later.
    curl->easy_setopt(c, CURLOPT_QUICK_EXIT, 1L);
#endif
    curl->easy_setopt(c, CURLOPT_USERAGENT, "Tallowick");
    curl->easy_setopt(c, CURLOPT_ERRORBUFFER, errbuf);
    curl->easy_setopt(c, CURLOPT_WRITEFUNCTION, on_body);
    curl->easy_setopt(c, CURLOPT_WRITEDATA, &t);
    curl->easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl->easy_setopt(c, CURLOPT_XFERINFOFUNCTION, on_progress);
    curl->easy_setopt(c, CURLOPT_XFERINFODATA, &t);

    // The multi interface lets cancel() interrupt a wait on the network
    // through curl_multi_wakeup instead of waiting for the next callback.
    CURLM* m = multi.get();
    curl->multi_add_handle(m, c);
    progress.set_waker([m, curl] { curl->multi_wakeup(m); });
    CURLcode code = CURLE_OK;
    CURLMcode mcode = CURLM_OK;
    int running = 1;
    while (running && !progress.cancel_requested()) {
        mcode = curl->multi_perform(m, &running);
        if (mcode != CURLM_OK || !running)
            break;
        mcode = curl->multi_poll(m, nullptr, 0, 1000, nullptr);
        if (mcode != CURLM_OK)
            break;
    }
    progress.set_waker({});
    int left = 0;
    bool done = false;
    while (CURLMsg* msg = curl->multi_info_read(m, &left)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == c) {
            code = msg->data.result;
            done = true;
        }
    }
    curl->easy_getinfo(c, CURLINFO_RESPONSE_CODE, &result.http_status);
    curl->multi_remove_handle(m, c);

    if (progress.cancel_requested()) {
        result.state = download_state::cancelled;
        return result;
    }
    if (mcode != CURLM_OK || !done) {
        result.message =
            std::string("The download broke off: ") + curl->multi_strerror(mcode) + ".";
        return result;
    }
    if (code != CURLE_OK) {
        if (code == CURLE_HTTP_RETURNED_ERROR)
            result.message = status_reason(result.http_status);
        else if (code == CURLE_WRITE_ERROR && t.write_errno)
            result.message =
                "The story file could not be written: " + system_message(t.write_errno) + ".";
        else
            result.message = transfer_reason(code, errbuf[0] ? errbuf : curl->easy_strerror(code));
        return result;
    }
    if (result.http_status < 200 || result.http_status > 299) {
        // A redirect without a Location ends here with CURLE_OK; its body is
        // no story file.
        result.message = status_reason(result.http_status);
        return result;
    }
    if (progress.received() == 0) {
        // An empty story file could never be played, and left in place it
        // would be taken for the game on every later choice.
        result.message = "The server sent an empty file.";
        return result;
    }
    // The last bytes go to the disk before the file takes the game's name,
    // so that a crash never leaves a short file there; a failure (a full
    // disk) is a failure.
    if (!file.commit()) {
        result.message = "The story file could not be written: " + file.error().message() + ".";
        return result;
    }
    result.state = download_state::completed;
    return result;
}

} // namespace

fetch_result fetch_to_file(const std::string& uri, const std::filesystem::path& target,
                           download_progress& progress, const fetch_options& opts) {
    fetch_result result;
    try {
        result = run(uri, target, progress, opts);
    } catch (const std::exception& e) {
        // Only allocation can throw here; the worker thread must not die of it.
        result.state = download_state::failed;
        result.message = std::string("The download failed: ") + e.what() + ".";
    }
    progress.finish(result.state);
    return result;
}

} // namespace tw
