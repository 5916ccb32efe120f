// The interpreter as a child process on Linux: spawned (through the
// launcher that confines it) into a session and process group of its own,
// and one poll() loop, run by the reader thread, that serves stdout,
// stderr, stdin and the exit (a pidfd).
#include "core/interpreter/process.h"

#include "core/interpreter/child_state.h"
#include "core/platform/platform.h"
#include "core/platform/spawn.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tw {
namespace {

constexpr size_t chunk_size = 64 * 1024;
// At most this many chunks of stdout, then of stderr, are read once the
// child has gone, so that a process it left behind writing without end
// cannot keep the reader. 16 chunks hold the largest pipe an unprivileged
// process can ask for (1 MB), so nothing the child itself wrote is lost.
constexpr int drain_chunks = 16;

// A descriptor that closes itself.
struct fd {
    int v = -1;
    fd() = default;
    explicit fd(int v) : v(v) {}
    fd(fd&& o) noexcept : v(std::exchange(o.v, -1)) {}
    fd& operator=(fd&& o) noexcept {
        std::swap(v, o.v);
        return *this;
    }
    ~fd() {
        if (v >= 0)
            ::close(v);
    }
};

// A close-on-exec pipe whose ends are above 2, so that placing them on the
// child's standard streams can never clobber one another.
bool make_pipe(fd& read_end, fd& write_end) {
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0)
        return false;
    for (int& end : p)
        if (end <= 2) {
            int moved = ::fcntl(end, F_DUPFD_CLOEXEC, 3);
            ::close(end);
            end = moved;
        }
    read_end = fd(p[0]);
    write_end = fd(p[1]);
    return p[0] >= 0 && p[1] >= 0;
}

class posix_child final : public child_process {
  public:
    posix_child(pid_t pid, fd pidfd, fd in, fd out, fd err, fd wake)
        : child_pid(pid), pidfd(std::move(pidfd)), in(std::move(in)), out(std::move(out)),
          err(std::move(err)), wake(std::move(wake)) {}

    ~posix_child() override {
        kill();
        if (!state.exit_status())
            reap(true);
    }

    bool read_output(output_chunk& chunk, int timeout_ms) override;

    bool write(std::string_view bytes) override {
        if (!state.queue(bytes))
            return false;
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wake.v, &one, sizeof one);
        return true;
    }

    std::optional<int> poll() override { return state.exit_status(); }
    bool wait_for_exit(std::chrono::milliseconds timeout) override {
        return state.wait_for_exit(timeout);
    }

    void terminate() override { signal(SIGTERM); }
    void kill() override { signal(SIGKILL); }

  private:
    // Signals the child's group, and the child itself should it have left
    // it. Only until it is reaped: until then its pid, and so the group id,
    // cannot belong to anyone else.
    void signal(int sig) {
        state.unless_exited([&] {
            ::kill(-child_pid, sig);
            if (::getpgid(child_pid) != child_pid)
                ::kill(child_pid, sig);
        });
    }

    void reap(bool block) {
        int raw = 0;
        pid_t got;
        do {
            got = ::waitpid(child_pid, &raw, block ? 0 : WNOHANG);
        } while (got < 0 && errno == EINTR);
        if (got == 0)
            return;
        state.exited(got != child_pid   ? -1 // reaped by someone else; nothing to learn
                     : WIFEXITED(raw)   ? WEXITSTATUS(raw)
                     : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw)
                                        : -1);
    }

    // Writes what it can of the queued input without blocking.
    void serve_stdin() {
        if (pending_done == pending.size()) {
            pending = state.take();
            pending_done = 0;
        }
        while (in.v >= 0 && pending_done < pending.size()) {
            ssize_t n = ::write(in.v, pending.data() + pending_done, pending.size() - pending_done);
            if (n > 0)
                pending_done += static_cast<size_t>(n);
            else if (n < 0 && errno == EAGAIN)
                return;
            else if (!(n < 0 && errno == EINTR)) {
                // EPIPE: the child closed its stdin.
                in = fd();
                state.close_input();
            }
        }
    }

    ssize_t read_into(const fd& from, bool is_err, output_chunk& chunk) {
        chunk.bytes.resize(chunk_size);
        ssize_t n;
        do {
            n = ::read(from.v, chunk.bytes.data(), chunk_size);
        } while (n < 0 && errno == EINTR);
        chunk.bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
        chunk.is_stderr = is_err;
        return n;
    }

    const pid_t child_pid;
    fd pidfd, in, out, err;
    fd wake; // readable when write() has queued something

    child_state state;

    // The loop's own, on the reader thread.
    std::string pending;
    size_t pending_done = 0;
    bool out_open = true, err_open = true, draining = false, prefer_err = false;
    int drain_left = drain_chunks;
};

bool posix_child::read_output(output_chunk& chunk, int timeout_ms) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (!out_open && !err_open && state.exit_status())
            return false;
        if (draining) {
            // The child has gone: take what stdout, then stderr, hold now
            // without waiting for more.
            bool is_err = !out_open;
            pollfd p{(is_err ? err : out).v, POLLIN, 0};
            if (drain_left == 0 || ::poll(&p, 1, 0) <= 0 ||
                read_into(is_err ? err : out, is_err, chunk) <= 0) {
                (is_err ? err_open : out_open) = false;
                drain_left = drain_chunks; // a fresh allowance for stderr
                continue;
            }
            --drain_left;
            return true;
        }
        serve_stdin();
        pollfd fds[5];
        nfds_t n = 0;
        auto add = [&](const fd& f, short events) {
            fds[n] = {f.v, events, 0};
            return static_cast<int>(n++);
        };
        // The exit is watched even after the child has closed its output:
        // the reader ends when the child does, not before.
        const int exit_i = add(pidfd, POLLIN);
        const int wake_i = add(wake, POLLIN);
        const int in_i = pending_done < pending.size() ? add(in, POLLOUT) : -1;
        const int out_i = out_open ? add(out, POLLIN) : -1;
        const int err_i = err_open ? add(err, POLLIN) : -1;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
        int ready =
            ::poll(fds, n, timeout_ms < 0 ? -1 : static_cast<int>(std::max(0L, left.count())));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            chunk.bytes.clear();
            chunk.is_stderr = false;
            return ready == 0;
        }
        if (fds[exit_i].revents) {
            // Before the output: a process left behind that writes without
            // end must not keep the drain from starting either.
            reap(false);
            draining = state.exit_status() && (out_open || err_open);
            continue;
        }
        if (fds[wake_i].revents) {
            uint64_t count;
            [[maybe_unused]] ssize_t r = ::read(wake.v, &count, sizeof count);
        }
        if (in_i >= 0 && fds[in_i].revents)
            serve_stdin();
        bool out_ready = out_i >= 0 && fds[out_i].revents;
        bool err_ready = err_i >= 0 && fds[err_i].revents;
        if (!out_ready && !err_ready)
            continue;
        // Take turns when both have something, so neither starves.
        bool take_err = err_ready && (!out_ready || prefer_err);
        prefer_err = !take_err;
        ssize_t got = read_into(take_err ? err : out, take_err, chunk);
        if (got > 0)
            return true;
        if (!(got < 0 && errno == EAGAIN))
            (take_err ? err_open : out_open) = false;
    }
}

// The launcher that confines every interpreter (src/confine), beside the
// program or in its libexec folder.
std::optional<std::string> find_launcher() {
    for (const auto& p : installed_program_places("confine"))
        if (::access(p.c_str(), X_OK) == 0)
            return p.string();
    return std::nullopt;
}

// What `program` is run as: itself, or through the launcher that confines
// it as `how` says. Empty when there is no launcher.
std::vector<std::string> confined_command(const std::vector<std::string>& program,
                                          const confinement& how) {
    auto launcher = find_launcher();
    if (!launcher)
        return {};
    std::vector<std::string> argv{*launcher, "--parent", std::to_string(::getpid())};
    auto add = [&argv](const char* option, const std::string& value) {
        argv.insert(argv.end(), {option, value});
    };
    for (const auto& f : how.readable)
        add("--read", f);
    if (!how.writable.empty())
        add("--write", how.writable);
    for (const auto& f : how.kept)
        add("--keep", f);
    add("--memory", std::to_string(how.memory_bytes));
    add("--file-size", std::to_string(how.file_bytes));
    argv.push_back("--");
    argv.insert(argv.end(), program.begin(), program.end());
    return argv;
}

// Tests ask the launcher for no more of Landlock than an older kernel
// gives; it does not pass this on.
void pass_on_landlock_abi(std::vector<std::string>& env) {
    if (const char* abi = std::getenv("TALLOWICK_LANDLOCK_ABI"))
        env.push_back(std::string("TALLOWICK_LANDLOCK_ABI=") + abi);
}

} // namespace

std::unique_ptr<child_process> child_process::start(const launch_options& opts,
                                                    std::string& error) {
    // A write to a child that has gone must come back as EPIPE.
    ignore_broken_pipes();
    if (opts.argv.empty() || opts.argv[0].empty()) {
        error = "No game interpreter was given.";
        return nullptr;
    }
    auto failed = [&](int err, const std::string& where = {}) {
        error = "The game interpreter " + opts.argv[0] + " could not be started" + where + ": " +
                std::system_category().message(err) + ".";
        return nullptr;
    };
    struct stat st;
    if (!opts.cwd.empty() && (::stat(opts.cwd.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
        return failed(ENOENT, " in the folder " + opts.cwd);

    spawn_request request{opts.argv, opts.env, opts.cwd};
    if (opts.confined) {
        // The launcher runs it, so its own failure to run would only be
        // seen later, as an exit: told now instead.
        if (::access(opts.argv[0].c_str(), X_OK) != 0)
            return failed(errno);
        request.argv = confined_command(opts.argv, *opts.confined);
        if (request.argv.empty()) {
            error = "The game interpreter " + opts.argv[0] +
                    " could not be started: the program that confines it, confine, is missing "
                    "beside Tallowick.";
            return nullptr;
        }
        pass_on_landlock_abi(*request.env);
    }

    fd in_r, in_w, out_r, out_w, err_r, err_w;
    if (!make_pipe(in_r, in_w) || !make_pipe(out_r, out_w) || !make_pipe(err_r, err_w))
        return failed(errno);
    fd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (wake.v < 0 || ::fcntl(in_w.v, F_SETFL, O_NONBLOCK) != 0)
        return failed(errno);

    // A session of its own: terminate() reaches its group, and it has no
    // terminal to reach.
    request.streams = {in_r.v, out_w.v, err_w.v};
    request.own_session = true;
    auto spawned = spawn_program(request);
    if (spawned.error != 0)
        return failed(spawned.error);
    const pid_t pid = spawned.pid;
    fd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (pidfd.v < 0) {
        int e = errno;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return failed(e);
    }
    return std::make_unique<posix_child>(pid, std::move(pidfd), std::move(in_w), std::move(out_r),
                                         std::move(err_r), std::move(wake));
}

std::string confinement_report() {
    auto launcher = find_launcher();
    if (!launcher)
        return "Interpreters cannot be started: the program that confines them, confine, is "
               "missing.";
    launch_options probing{{*launcher, "--probe"}, {}, {}, {}};
    pass_on_landlock_abi(probing.env);
    std::string error, line;
    auto probe = child_process::start(probing, error);
    output_chunk chunk;
    while (probe && probe->read_output(chunk, -1))
        if (!chunk.is_stderr)
            line += chunk.bytes;
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    return line.empty() ? "Interpreters confined: unknown (the probe failed: " + error + ")."
                        : line;
}

} // namespace tw
