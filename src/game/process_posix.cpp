// The interpreter as a child process on Linux.
//
// Threads: each child has an exit watcher and a stdin writer of its own;
// stdout and stderr are read on the caller's reader thread. The owner ends
// the child (terminate() or kill()), joins its reader thread, then destroys
// the object: the destructor joins the two threads it started but cannot
// wake a reader blocked in read_output().
#include "game/process.h"

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tw {

namespace {

constexpr size_t chunk_size = 64 * 1024;
// At most this many chunks of stdout, then of stderr, are read once the
// child has gone, so that a grandchild writing there without end cannot
// keep the reader. 16 chunks hold the largest pipe an unprivileged process
// can ask for (1 MB), so nothing the child itself wrote is lost.
constexpr int drain_chunks = 16;

std::string describe(int err) {
    return std::system_category().message(err);
}

void close_fd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Moves `fd` to a number above 2, so that dup2() onto the standard streams
// in the child can never clobber another of our descriptors.
bool lift_fd(int& fd) {
    if (fd > 2)
        return true;
    int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (moved < 0)
        return false;
    ::close(fd);
    fd = moved;
    return true;
}

bool make_pipe(int fds[2]) {
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    if (!lift_fd(fds[0]) || !lift_fd(fds[1])) {
        close_fd(fds[0]);
        close_fd(fds[1]);
        return false;
    }
    return true;
}

// What the child reports through the error pipe when it cannot exec.
struct launch_failure {
    int step; // one of the values below
    int err;
};
constexpr int step_chdir = 1;
constexpr int step_exec = 2;

// Closes every descriptor above 2 except `keep`. Ours are all CLOEXEC, but
// libraries in the program (toolkit, speech, whatever ran us) may hold some
// that are not, and the interpreter has no business with them. Runs between
// fork and exec, so system calls only.
void close_inherited(int keep, int limit) {
    bool done =
        (keep == 3 || ::close_range(3, keep - 1, 0) == 0) && ::close_range(keep + 1, ~0U, 0) == 0;
    if (done)
        return;
    for (int fd = 3; fd < limit; ++fd)
        if (fd != keep)
            ::close(fd);
}

void ignore_sigpipe_once() {
    // A write to a child that has gone must come back as EPIPE rather than
    // end the whole program.
    static std::once_flag once;
    std::call_once(once, [] { ::signal(SIGPIPE, SIG_IGN); });
}

class posix_child final : public child_process {
  public:
    posix_child(pid_t pid, int in_fd, int out_fd, int err_fd, int event_fd)
        : child_pid(pid), in_fd(in_fd), out_fd(out_fd), err_fd(err_fd), event_fd(event_fd) {}

    // Split from the constructor so that start() can clean up if a thread
    // cannot be created.
    void start_threads() {
        watcher = std::thread([this] { watch(); });
        writer = std::thread([this] { write_loop(); });
    }

    ~posix_child() override {
        {
            std::lock_guard lock(mutex);
            signal_locked(SIGKILL);
            stopping = true;
        }
        write_cv.notify_all();
        raise_event();
        if (watcher.joinable()) {
            watcher.join();
        } else if (!reaped) {
            // start() could not create the watcher; reap here instead.
            int raw;
            while (::waitpid(child_pid, &raw, 0) < 0 && errno == EINTR) {
            }
        }
        if (writer.joinable())
            writer.join();
        close_fd(in_fd);
        close_fd(out_fd);
        close_fd(err_fd);
        close_fd(event_fd);
    }

    bool read_output(output_chunk& chunk, int timeout_ms) override;
    bool write(std::string_view bytes) override;

    std::optional<int> poll() override {
        std::lock_guard lock(mutex);
        return status;
    }

    int wait() override {
        std::unique_lock lock(mutex);
        exit_cv.wait(lock, [this] { return status.has_value(); });
        return *status;
    }

    void terminate() override {
        std::lock_guard lock(mutex);
        signal_locked(SIGTERM);
    }

    void kill() override {
        std::lock_guard lock(mutex);
        signal_locked(SIGKILL);
    }

    // If the child has already exited, the callback runs at once on the
    // calling thread instead of the watcher thread. Either way it runs once
    // and outside any lock, so it may call poll(). It must not destroy this
    // object.
    void on_exit(std::function<void(int status)> callback) override {
        std::unique_lock lock(mutex);
        if (exit_callback_done)
            return;
        if (!status) {
            exit_callback = std::move(callback);
            return;
        }
        exit_callback_done = true;
        int s = *status;
        lock.unlock();
        if (callback)
            callback(s);
    }

    long pid() const override { return child_pid; }

  private:
    void watch();
    void write_loop();

    // Signals the child's process group, and the child itself should it
    // have left the group. Only while the child has not been reaped: until
    // then its pid, and so the group id, cannot belong to anyone else.
    void signal_locked(int sig) {
        if (reaped)
            return;
        ::kill(-child_pid, sig);
        if (::getpgid(child_pid) != child_pid)
            ::kill(child_pid, sig);
    }

    void raise_event() {
        uint64_t one = 1;
        // Never read, so it stays readable; the counter cannot fill up with
        // the two writes it ever gets.
        [[maybe_unused]] ssize_t n = ::write(event_fd, &one, sizeof one);
    }

    const pid_t child_pid;
    int in_fd;
    int out_fd;
    int err_fd;
    // Readable once the child has exited or this object is being destroyed;
    // wakes the reader and the writer out of poll().
    int event_fd;

    std::thread watcher;
    std::thread writer;

    std::mutex mutex;
    std::condition_variable exit_cv;
    std::condition_variable write_cv;
    std::optional<int> status;
    bool reaped = false;
    bool stdin_closed = false;
    bool stopping = false;
    std::string queued; // bytes for stdin the writer has not taken yet
    std::function<void(int)> exit_callback;
    bool exit_callback_done = false;

    // Reader thread state, touched by read_output() only.
    bool out_open = true;
    bool err_open = true;
    bool draining = false;
    int drain_left = drain_chunks;
    bool prefer_err = false;
};

void posix_child::watch() {
    // WNOWAIT leaves the child a zombie, so its pid stays ours until it is
    // reaped below under the lock that signal_locked() also takes.
    siginfo_t info{};
    int r;
    do {
        r = ::waitid(P_PID, child_pid, &info, WEXITED | WNOWAIT);
    } while (r != 0 && errno == EINTR);

    std::function<void(int)> callback;
    int s;
    {
        std::lock_guard lock(mutex);
        int raw = 0;
        pid_t got;
        do {
            got = ::waitpid(child_pid, &raw, 0);
        } while (got < 0 && errno == EINTR);
        if (got == child_pid && WIFEXITED(raw))
            s = WEXITSTATUS(raw);
        else if (got == child_pid && WIFSIGNALED(raw))
            s = 128 + WTERMSIG(raw);
        else
            s = -1; // someone else in the program reaped it; nothing to learn
        status = s;
        reaped = true;
        stdin_closed = true;
        queued.clear();
        if (!exit_callback_done && exit_callback) {
            callback = std::move(exit_callback);
            exit_callback_done = true;
        }
    }
    exit_cv.notify_all();
    write_cv.notify_all();
    raise_event();
    if (callback)
        callback(s);
}

bool posix_child::write(std::string_view bytes) {
    {
        std::lock_guard lock(mutex);
        if (stdin_closed || stopping)
            return false;
        queued.append(bytes);
    }
    write_cv.notify_one();
    return true;
}

void posix_child::write_loop() {
    // stdin is non-blocking on our side: a child that stops reading leaves
    // this thread in poll(), where the exit or the destructor can wake it.
    std::string pending;
    size_t done = 0;
    for (;;) {
        if (done == pending.size()) {
            std::unique_lock lock(mutex);
            write_cv.wait(lock, [this] { return !queued.empty() || stdin_closed || stopping; });
            if (stdin_closed || stopping)
                return;
            pending.clear();
            pending.swap(queued);
            done = 0;
        }
        ssize_t n = ::write(in_fd, pending.data() + done, pending.size() - done);
        if (n >= 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd fds[2] = {{in_fd, POLLOUT, 0}, {event_fd, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                break;
            if (fds[1].revents)
                return;
            continue;
        }
        break; // EPIPE: the child closed its stdin
    }
    std::lock_guard lock(mutex);
    stdin_closed = true;
    queued.clear();
}

bool posix_child::read_output(output_chunk& chunk, int timeout_ms) {
    auto read_into = [&](int fd, bool is_err) -> ssize_t {
        chunk.bytes.resize(chunk_size);
        ssize_t n;
        do {
            n = ::read(fd, chunk.bytes.data(), chunk_size);
        } while (n < 0 && errno == EINTR);
        chunk.bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
        chunk.is_stderr = is_err;
        return n;
    };

    for (;;) {
        if (!out_open && !err_open)
            return false;

        if (draining) {
            // The child has gone: take what stdout, then stderr, hold now
            // without waiting for more. Everything the child wrote is in the
            // pipes by now; only a process it left behind could write more,
            // and that one may hold them open for ever, which must hold
            // neither the reader nor whoever joins it.
            bool is_err = !out_open;
            int fd = is_err ? err_fd : out_fd;
            bool& open = is_err ? err_open : out_open;
            pollfd p{fd, POLLIN, 0};
            int r;
            do {
                r = ::poll(&p, 1, 0);
            } while (r < 0 && errno == EINTR);
            if (drain_left == 0 || r <= 0 || read_into(fd, is_err) <= 0) {
                open = false;
                drain_left = drain_chunks; // a fresh allowance for stderr
                continue;
            }
            --drain_left;
            return true;
        }

        pollfd fds[3];
        nfds_t n = 0;
        int out_i = -1, err_i = -1;
        if (out_open) {
            out_i = static_cast<int>(n);
            fds[n++] = {out_fd, POLLIN, 0};
        }
        if (err_open) {
            err_i = static_cast<int>(n);
            fds[n++] = {err_fd, POLLIN, 0};
        }
        // The exit ends the waiting even while stdout is open: a process the
        // child started may hold it, and would otherwise keep the reader
        // blocked (and the GUI thread joining it frozen) after the game has
        // ended. What the child wrote is still read, in the drain above.
        const nfds_t event_i = n;
        fds[n++] = {event_fd, POLLIN, 0};
        int ready = ::poll(fds, n, timeout_ms);
        if (ready == 0) {
            chunk.bytes.clear();
            chunk.is_stderr = false;
            return true;
        }
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            out_open = err_open = false;
            return false;
        }

        if (fds[event_i].revents) {
            // Checked first, so that a process left behind that writes
            // without end cannot keep the drain from starting either.
            draining = true;
            continue;
        }
        bool out_ready = out_i >= 0 && fds[out_i].revents;
        bool err_ready = err_i >= 0 && fds[err_i].revents;
        if (out_ready || err_ready) {
            // Take turns when both have something, so neither starves.
            bool take_err = err_ready && (!out_ready || prefer_err);
            prefer_err = !take_err;
            ssize_t got = read_into(take_err ? err_fd : out_fd, take_err);
            if (got > 0)
                return true;
            if (got < 0 && errno == EAGAIN)
                continue;
            (take_err ? err_open : out_open) = false;
        }
    }
}

} // namespace

std::unique_ptr<child_process> child_process::start(const launch_options& opts,
                                                    std::string& error) {
    ignore_sigpipe_once();
    if (opts.argv.empty() || opts.argv[0].empty()) {
        error = "No game interpreter was given.";
        return nullptr;
    }
    const std::string& program = opts.argv[0];
    auto failed = [&](int err) {
        error = "The game interpreter " + program + " could not be started: " + describe(err) + ".";
        return nullptr;
    };

    // Everything the child needs is built before fork(): between fork and
    // exec only async-signal-safe calls are allowed.
    std::vector<char*> argv;
    for (const auto& a : opts.argv)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : opts.env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const char* cwd = opts.cwd.empty() ? nullptr : opts.cwd.c_str();
    // For kernels without close_range(): how far to close by hand.
    long open_max = ::sysconf(_SC_OPEN_MAX);
    int fd_limit = open_max > 0 && open_max < (1 << 16) ? static_cast<int>(open_max) : 1 << 16;

    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1}, report[2] = {-1, -1};
    int event = -1;
    auto close_all = [&] {
        for (int* p : {in, out, err, report}) {
            close_fd(p[0]);
            close_fd(p[1]);
        }
        close_fd(event);
    };
    if (!make_pipe(in) || !make_pipe(out) || !make_pipe(err) || !make_pipe(report)) {
        int e = errno;
        close_all();
        return failed(e);
    }
    event = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (event < 0 || ::fcntl(in[1], F_SETFL, O_NONBLOCK) != 0) {
        int e = errno;
        close_all();
        return failed(e);
    }

    pid_t pid = ::fork();
    if (pid < 0) {
        int e = errno;
        close_all();
        return failed(e);
    }
    if (pid == 0) {
        // The child. Dispositions first, then the mask, so that none of the
        // parent's handlers can run here; ignored signals (SIGPIPE above)
        // would otherwise stay ignored in the interpreter.
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        for (int sig = 1; sig < NSIG; ++sig)
            ::sigaction(sig, &dfl, nullptr);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        // A group of its own, so that terminate() reaches what it spawns.
        ::setpgid(0, 0);
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        close_inherited(report[1], fd_limit);
        launch_failure f{step_exec, 0};
        if (cwd && ::chdir(cwd) != 0) {
            f = {step_chdir, errno};
        } else {
            ::execve(argv[0], argv.data(), envp.data());
            f.err = errno;
        }
        [[maybe_unused]] ssize_t n = ::write(report[1], &f, sizeof f);
        ::_exit(127);
    }

    close_fd(in[0]);
    close_fd(out[1]);
    close_fd(err[1]);
    close_fd(report[1]);
    // The report pipe closes on a successful exec and carries the reason
    // otherwise, so a failure is known before start() returns.
    launch_failure f{};
    ssize_t n;
    do {
        n = ::read(report[0], &f, sizeof f);
    } while (n < 0 && errno == EINTR);
    close_fd(report[0]);
    if (n > 0) {
        int raw;
        while (::waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
        }
        close_all();
        if (f.step == step_chdir) {
            error = "The game interpreter " + program + " could not be started in the folder " +
                    opts.cwd + ": " + describe(f.err) + ".";
            return nullptr;
        }
        return failed(f.err);
    }

    auto child = std::make_unique<posix_child>(pid, in[1], out[0], err[0], event);
    in[1] = out[0] = err[0] = event = -1; // owned by `child` now
    try {
        child->start_threads();
    } catch (const std::system_error& e) {
        // The destructor kills and reaps the child and joins whichever
        // thread did start.
        error = "The game interpreter " + program + " could not be started: " + e.what() + ".";
        return nullptr;
    }
    return child;
}

} // namespace tw
