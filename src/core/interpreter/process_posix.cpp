// The interpreter as a child process on Linux: posix_spawn into a process
// group of its own, and one poll() loop, run by the reader thread, that
// serves stdout, stderr, stdin and the exit (a pidfd).
#include "core/interpreter/process.h"

#include "core/interpreter/child_state.h"
#include "core/platform/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
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

    std::vector<char*> argv, envp;
    for (const auto& a : opts.argv)
        argv.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : opts.env)
        envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    fd in_r, in_w, out_r, out_w, err_r, err_w;
    if (!make_pipe(in_r, in_w) || !make_pipe(out_r, out_w) || !make_pipe(err_r, err_w))
        return failed(errno);
    fd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (wake.v < 0 || ::fcntl(in_w.v, F_SETFL, O_NONBLOCK) != 0)
        return failed(errno);

    // Every step of the set-up is checked: one that failed unseen would
    // start a child that is not what we asked for, or none at all.
    int err = 0;
    auto check = [&err](int result) {
        if (err == 0 && result != 0)
            err = result;
    };
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (int e = posix_spawn_file_actions_init(&actions); e != 0)
        return failed(e);
    if (int e = posix_spawnattr_init(&attr); e != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return failed(e);
    }
    check(posix_spawn_file_actions_adddup2(&actions, in_r.v, 0));
    check(posix_spawn_file_actions_adddup2(&actions, out_w.v, 1));
    check(posix_spawn_file_actions_adddup2(&actions, err_w.v, 2));
    // Libraries in this program (toolkit, speech) may hold descriptors that
    // are not close-on-exec; the interpreter has no business with them.
    check(posix_spawn_file_actions_addclosefrom_np(&actions, 3));
    if (!opts.cwd.empty())
        check(posix_spawn_file_actions_addchdir_np(&actions, opts.cwd.c_str()));
    // A group of its own, so that terminate() reaches what it spawns; every
    // signal back to its default and none blocked, whatever this program
    // (SIGPIPE is ignored) or its threads did.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    check(posix_spawnattr_setpgroup(&attr, 0));
    check(posix_spawnattr_setsigmask(&attr, &none));
    check(posix_spawnattr_setsigdefault(&attr, &all));
    check(posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                              POSIX_SPAWN_SETSIGDEF));
    pid_t pid = -1;
    int spawned =
        err ? err : ::posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (spawned != 0)
        return failed(spawned);
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

} // namespace tw
