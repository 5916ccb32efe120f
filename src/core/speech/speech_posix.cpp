// speech-dispatcher, spoken to in its own protocol (SSIP) over its socket by
// the speech thread alone.
//
// Why not through libspeechd's calls: feeding one text at a time needs the
// service's events (the END or CANCEL of each text). libspeechd reads them
// only in its threaded mode, whose callers wait on a condition variable,
// without a deadline, for a reply that a broken socket never delivers; its
// single mode would take an event that comes just before a reply for the
// reply. Here one thread reads everything from the socket, events and
// replies alike, and every wait either has a deadline (a reply: a service
// that hangs is given up) or can be woken (the end of a text: a stop or the
// program's exit wakes it). libspeechd still says where the service is, as
// every other client finds it.
//
// SIGPIPE: the program's one policy (ignore_broken_pipes()) is in force
// before the first connection, so a service that went away makes a write
// fail with EPIPE instead of ending the program.
//
// Notes on the service (0.11), which shape the rest:
// - Priorities: screen readers (Orca) speak at MESSAGE. We speak at TEXT: a
//   MESSAGE cancels a TEXT that is being said or waits, and a TEXT waits
//   while MESSAGEs do. So the screen reader always comes first.
// - A TEXT also cancels any earlier TEXT, ours included: only one text of
//   ours is ever with the service. The next goes when it has ENDed; one that
//   was CANCELED by other speech is said again, whole (speech.cpp).
// - CANCEL SELF stops what this connection is saying and drops what it has
//   waiting; its events for those texts may come after.
// - An empty text leaves the service waiting for more; a text that is not
//   valid UTF-8 is refused.
// - Its module may refuse a text now and then, and the service then drops
//   it without an event (0.11's generic module, its recoding failing, did
//   so with one text in about one test run in thirty, several times
//   running). A text that has not BEGUN in a moment is taken back with
//   CANCEL SELF, which the service answers with its CANCEL when it still
//   held the text, and handed over again.
// - Without SPEECHD_ADDRESS and with nothing at the user's socket, the
//   service is started as libspeechd would: `speech-dispatcher --spawn`.
#include "core/speech/speech.h"

#include "core/platform/platform.h"
#include "core/platform/spawn.h"
#include "core/text/utf8.h"

#include <libspeechd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <pwd.h>
#include <set>
#include <signal.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tw {
namespace {

using clock_type = std::chrono::steady_clock;

// A reply slower than this means the service hangs; the connection is given
// up and a new one tried later, rather than blocking the speech thread.
constexpr auto reply_timeout = std::chrono::seconds(5);

// The longest a text can take to be said at the slowest rate, from its
// BEGIN. A text the service has not ended by then (its synthesizer hung) is
// cancelled and said again, rather than silencing every text after it.
constexpr auto end_bound = std::chrono::seconds(10);
constexpr auto end_bound_per_byte = std::chrono::milliseconds(200);

// How long a text may wait for its BEGIN before it is handed over again:
// the service dropped it, or it waits behind the screen reader, whose
// speech is not cut by our taking it back.
constexpr auto begin_bound = std::chrono::seconds(2);

// How often a text may be dropped unsaid before the service is given up.
constexpr int most_drops = 4;

// How long a module may take to stop a text given up, and the service to
// answer the cancel of one it still holds.
constexpr auto settle_bound = std::chrono::seconds(1);

// How long a service being started may take to say it is ready.
constexpr int spawn_timeout_ms = 10000;

// The service's replies to a text: ready to take it after SPEAK, and taken
// (queued, its id on the line before) after the text's closing dot.
constexpr int ssip_receiving_data = 230;
constexpr int ssip_message_queued = 225;

bool is_blank(const std::string& text) {
    for (const char c : text)
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f')
            return false;
    return true;
}

// A text as SSIP carries it: a line that starts with a dot gets a second
// one, or a lone dot would end the text early.
std::string escape_dots(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    if (!text.empty() && text[0] == '.')
        out += '.';
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '\n' && i > 0 && text[i - 1] == '\r' && i + 1 < text.size() &&
            text[i + 1] == '.')
            out += '.';
    }
    return out;
}

// A setting's value on one line: a line end would start another command.
bool one_line(const std::string& value) {
    return !value.empty() && value.find_first_of("\r\n") == std::string::npos;
}

int milliseconds_until(clock_type::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock_type::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Only for the service's log, which names its clients by it.
std::string user_name() {
    passwd entry;
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
        found->pw_name)
        return found->pw_name;
    return "user";
}

// Starts the user's service as libspeechd's autospawn does; it forks its
// daemon and leaves once the socket is there. Waited for with a bound.
bool spawn_service(const char* socket_path) {
    // The service starts as if from a shell, whatever this program did with
    // its signals (spawn_program sees to that), on /dev/null.
    spawn_request request;
    request.argv = {"speech-dispatcher",   "--spawn",       "--communication-method",
                    "unix_socket",         "--socket-path", socket_path};
    request.search_path = true;
    const pid_t pid = spawn_program(request).pid;
    if (pid < 0)
        return false;
    bool left = true;
    if (const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        left = ::poll(&p, 1, spawn_timeout_ms) == 1;
        ::close(pidfd);
    }
    if (!left)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return left && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A connected stream socket to `address`, or -1. Non-blocking, so that no
// read or write can wait longer than its caller allows.
int connect_to(const SPDConnectionAddress& address) {
    if (address.method == SPD_METHOD_UNIX_SOCKET) {
        sockaddr_un where{};
        where.sun_family = AF_UNIX;
        if (!address.unix_socket_name ||
            std::strlen(address.unix_socket_name) >= sizeof where.sun_path)
            return -1;
        std::strcpy(where.sun_path, address.unix_socket_name);
        const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        // A local socket connects at once or not at all (EAGAIN: a service
        // too busy to take us, as good as none).
        if (s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0)
            return s;
        if (s >= 0)
            ::close(s);
        return -1;
    }
    if (address.method != SPD_METHOD_INET_SOCKET || !address.inet_socket_host)
        return -1;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(address.inet_socket_port);
    if (::getaddrinfo(address.inet_socket_host, port.c_str(), &hints, &found) != 0)
        return -1;
    const auto deadline = clock_type::now() + reply_timeout;
    int s = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s >= 0 && ::connect(s, found->ai_addr, found->ai_addrlen) != 0) {
        pollfd p{s, POLLOUT, 0};
        int error = 0;
        socklen_t size = sizeof error;
        if (errno != EINPROGRESS || ::poll(&p, 1, milliseconds_until(deadline)) != 1 ||
            ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
            ::close(s);
            s = -1;
        }
    }
    ::freeaddrinfo(found);
    if (s >= 0) {
        const int on = 1;
        ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return s;
}

class speechd_backend final : public speech_backend {
  public:
    speechd_backend() : wake_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    speechd_backend(const speechd_backend&) = delete;
    speechd_backend& operator=(const speechd_backend&) = delete;
    ~speechd_backend() override {
        close();
        if (wake_fd >= 0)
            ::close(wake_fd);
    }

    bool say(const std::string& text) override {
        // Nothing to hear, and an empty text would hang the connection.
        if (is_blank(text)) {
            pending = 0;
            return true;
        }
        said = decode_utf8(text);
        drops = 0;
        const bool was_open = sock >= 0;
        if (sock < 0 && !open())
            return false;
        if (send_said())
            return true;
        close();
        // An old connection may just have gone stale (the service was
        // restarted): one more try on a new one. A fresh one that fails at
        // once means the service is not there.
        if (!was_open || !open())
            return false;
        if (send_said())
            return true;
        close();
        return false;
    }

    text_ending wait_for_end() override {
        while (pending != 0) {
            while (auto reply = take_reply())
                if (is_event(*reply))
                    note_event(*reply);
            if (ended) {
                const text_ending how = *ended;
                ended.reset();
                pending = 0;
                return how;
            }
            // Until a service has told one BEGIN, it may never tell any.
            const bool awaiting_begin = begins_told && !begun;
            const auto deadline = awaiting_begin ? begin_by : end_by;
            switch (read_more(milliseconds_until(deadline), true)) {
            case arrival::woken:
                return text_ending::woken;
            case arrival::closed:
                close();
                return text_ending::lost;
            case arrival::timeout:
                if (clock_type::now() < deadline)
                    break;
                if (awaiting_begin) {
                    if (auto how = hand_over_again())
                        return *how;
                    break;
                }
                give_up_text();
                return text_ending::lost;
            case arrival::data:
                break;
            }
        }
        return text_ending::heard;
    }

    bool tells_end() const override { return true; }

    void wake() override {
        const std::uint64_t one = 1;
        // Full only after 2^64 - 2 wakes: a failed write loses nothing.
        [[maybe_unused]] auto written = ::write(wake_fd, &one, sizeof one);
    }

    void cancel() override {
        // Only while a text of ours is being said: the service may refuse the
        // text that follows a needless CANCEL, and never say so.
        const bool speaking = pending != 0;
        pending = 0;
        ended.reset();
        if (sock >= 0 && speaking)
            command("CANCEL SELF"); // a broken connection is closed by it
    }

    void set_voice(const voice& v) override {
        spoken_with = v;
        if (sock >= 0)
            apply_voice();
    }

  private:
    enum class arrival { data, timeout, woken, closed };

    // The text has not begun: taken back and handed over again. How it
    // ended, when it did meanwhile or the service keeps dropping texts.
    std::optional<text_ending> hand_over_again() {
        const long taken_back = pending;
        give_up_text();
        const auto answer = ended_early.find(taken_back);
        if (answer != ended_early.end() && answer->second == text_ending::heard)
            return text_ending::heard;
        // No answer to the cancel: the service had dropped it.
        if (answer == ended_early.end() && ++drops >= most_drops)
            return text_ending::lost;
        if (sock < 0 || !send_said()) {
            close();
            return text_ending::lost;
        }
        return std::nullopt;
    }

    // The service let the text go unheard (its module refused or hung): it
    // is cancelled, and the module given a moment to stop, for one still
    // stopping refuses the next text too.
    void give_up_text() {
        const long given_up = pending;
        cancel();
        const auto deadline = clock_type::now() + settle_bound;
        while (sock >= 0 && !ended_early.contains(given_up)) {
            while (auto reply = take_reply())
                if (is_event(*reply))
                    note_event(*reply);
            const int left = milliseconds_until(deadline);
            if (left == 0 || read_more(left, false) == arrival::closed)
                break;
        }
    }

    bool open() {
        ignore_broken_pipes();
        // The address SPEECHD_ADDRESS names, else the user's default socket.
        char* error = nullptr;
        SPDConnectionAddress* address = spd_get_default_address(&error);
        std::free(error);
        if (!address)
            return false;
        sock = connect_to(*address);
        // Autospawn only for the user's default service: an explicit
        // SPEECHD_ADDRESS belongs to whoever set it (e.g. a test's private
        // service), and spawning a service with the system's settings at
        // that address would be wrong.
        if (sock < 0 && std::getenv("SPEECHD_ADDRESS") == nullptr &&
            address->method == SPD_METHOD_UNIX_SOCKET && spawn_service(address->unix_socket_name))
            sock = connect_to(*address);
        SPDConnectionAddress__free(address);
        if (sock < 0)
            return false;
        in.clear();
        pending = 0;
        ended.reset();
        begins_told = false;
        if (!ok(command("SET SELF CLIENT_NAME \"" + user_name() + ":tallowick:main\"")) ||
            !ok(command("SET SELF PRIORITY TEXT")) ||
            !ok(command("SET SELF NOTIFICATION BEGIN on")) ||
            !ok(command("SET SELF NOTIFICATION END on")) ||
            !ok(command("SET SELF NOTIFICATION CANCEL on"))) {
            close();
            return false;
        }
        apply_voice();
        return sock >= 0;
    }

    void close() {
        if (sock >= 0)
            ::close(sock);
        sock = -1;
        in.clear();
        pending = 0;
        ended.reset();
    }

    void apply_voice() {
        // Each setting the service refuses (an unknown synthesizer or voice)
        // leaves its default: speaking matters more than how.
        auto number = [](int n) { return std::to_string(std::clamp(n, -100, 100)); };
        if (one_line(spoken_with.module))
            command("SET SELF OUTPUT_MODULE " + spoken_with.module);
        if (one_line(spoken_with.name))
            command("SET SELF SYNTHESIS_VOICE " + spoken_with.name);
        if (spoken_with.rate)
            command("SET SELF RATE " + number(*spoken_with.rate));
        if (spoken_with.pitch)
            command("SET SELF PITCH " + number(*spoken_with.pitch));
        if (spoken_with.volume)
            command("SET SELF VOLUME " + number(*spoken_with.volume));
    }

    // Hands `said` over; `pending` names it until its END or CANCEL.
    bool send_said() {
        if (command("SPEAK") != ssip_receiving_data)
            return false;
        std::vector<std::string> reply;
        if (!send_all(escape_dots(said) + "\r\n.\r\n") || read_reply(reply) != ssip_message_queued ||
            reply.size() < 2) {
            close();
            return false;
        }
        pending = std::strtol(reply.front().c_str() + 4, nullptr, 10);
        ended.reset();
        begun = false;
        const auto handed_over = clock_type::now();
        begin_by = handed_over + begin_bound;
        end_by = handed_over + longest_saying();
        // A short text can be begun, said and ENDed before the reply that
        // names it has been read.
        if (begun_early.contains(pending))
            note_begun();
        if (auto early = ended_early.find(pending); early != ended_early.end())
            ended = early->second;
        ended_early.clear();
        begun_early.clear();
        return pending != 0;
    }

    static bool ok(int code) { return code >= 200 && code < 300; }

    // Sends one command and returns the code of its reply; 0 when the
    // connection failed or the service did not answer in time, and then it
    // is closed.
    int command(const std::string& line) {
        std::vector<std::string> reply;
        if (sock < 0 || !send_all(line + "\r\n"))
            return 0;
        return read_reply(reply);
    }

    bool send_all(const std::string& data) {
        const auto deadline = clock_type::now() + reply_timeout;
        std::size_t sent = 0;
        while (sock >= 0 && sent < data.size()) {
            const ssize_t n = ::send(sock, data.data() + sent, data.size() - sent, 0);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            pollfd p{sock, POLLOUT, 0};
            if (n < 0 && errno == EAGAIN && ::poll(&p, 1, milliseconds_until(deadline)) == 1)
                continue;
            close();
            return false;
        }
        return sock >= 0;
    }

    // The next reply that is not an event; events on the way are noted.
    int read_reply(std::vector<std::string>& reply) {
        const auto deadline = clock_type::now() + reply_timeout;
        while (sock >= 0) {
            while (auto got = take_reply()) {
                if (is_event(*got)) {
                    note_event(*got);
                    continue;
                }
                reply = std::move(*got);
                return std::atoi(reply.back().substr(0, 3).c_str());
            }
            const int left = milliseconds_until(deadline);
            if (left == 0 || read_more(left, false) == arrival::closed)
                close();
        }
        return 0;
    }

    // Reads what the service sent into `in`, waiting for it at most
    // `timeout_ms` (-1: as long as it takes) or, when `wakeable`, until
    // wake() is called.
    arrival read_more(int timeout_ms, bool wakeable) {
        pollfd p[2] = {{sock, POLLIN, 0}, {wake_fd, POLLIN, 0}};
        int ready = ::poll(p, wakeable ? 2 : 1, timeout_ms);
        if (ready < 0 && errno == EINTR)
            return arrival::timeout;
        if (ready == 0)
            return arrival::timeout;
        if (ready < 0)
            return arrival::closed;
        if (wakeable && (p[1].revents & POLLIN)) {
            std::uint64_t count = 0;
            [[maybe_unused]] auto taken = ::read(wake_fd, &count, sizeof count);
            return arrival::woken;
        }
        char buffer[4096];
        const ssize_t n = ::recv(sock, buffer, sizeof buffer, 0);
        if (n > 0) {
            in.append(buffer, static_cast<std::size_t>(n));
            return arrival::data;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return arrival::timeout;
        return arrival::closed;
    }

    // A whole reply from the front of `in`, one string a line: lines of
    // "NNN-..." and a last one of "NNN ...".
    std::optional<std::vector<std::string>> take_reply() {
        std::vector<std::string> lines;
        std::size_t at = 0;
        for (;;) {
            const std::size_t end = in.find('\n', at);
            if (end == std::string::npos)
                return std::nullopt;
            std::string line = in.substr(at, end - at);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            at = end + 1;
            const bool last = line.size() < 4 || line[3] != '-';
            lines.push_back(std::move(line));
            if (last)
                break;
        }
        in.erase(0, at);
        return lines;
    }

    static bool is_event(const std::vector<std::string>& reply) {
        return reply.back().size() >= 3 && reply.back()[0] == '7';
    }

    clock_type::duration longest_saying() const {
        return end_bound + end_bound_per_byte * said.size();
    }

    void note_begun() {
        begun = true;
        end_by = clock_type::now() + longest_saying();
    }

    // BEGIN, END or CANCEL of the text we wait for; events of texts given
    // up before (cancelled by us) are ignored.
    void note_event(const std::vector<std::string>& event) {
        if (event.size() < 2 || event.front().size() < 5)
            return;
        const long id = std::strtol(event.front().c_str() + 4, nullptr, 10);
        const std::string code = event.back().substr(0, 3);
        if (code == "701" && id != 0) {
            begins_told = true;
            if (id == pending)
                note_begun();
            else if (begun_early.size() < 64)
                begun_early.insert(id);
            return;
        }
        std::optional<text_ending> how;
        if (code == "702")
            how = text_ending::heard;
        else if (code == "703")
            how = text_ending::cut;
        if (id == 0 || !how)
            return;
        if (id == pending)
            ended = how;
        else if (ended_early.size() < 64)
            ended_early[id] = *how; // perhaps the text being handed over
    }

    int sock = -1;
    const int wake_fd;
    std::string in;                          // read from the service, not yet taken
    std::string said;                        // the text last handed over, as sent
    long pending = 0;                        // the service's id of our text being said, or 0
    bool begun = false;                      // whether `pending` has BEGUN
    bool begins_told = false;                // whether this connection tells BEGINs
    int drops = 0;                           // times `said` was dropped unsaid
    clock_type::time_point begin_by;         // when `pending` is handed over again, not begun
    clock_type::time_point end_by;           // when that text is given up, begun
    std::optional<text_ending> ended;        // how `pending` ended, once known
    std::map<long, text_ending> ended_early; // events of texts not yet named
    std::set<long> begun_early;              // BEGINs of texts not yet named
    voice spoken_with;
};

} // namespace

std::unique_ptr<speech_backend> make_platform_speech() {
    return std::make_unique<speechd_backend>();
}

// Orca's, whose default voice the player hears every day.
std::optional<std::filesystem::path> screen_reader_voice_file() {
    return home_directory() / ".local/share/orca/user-settings.conf";
}

} // namespace tw
