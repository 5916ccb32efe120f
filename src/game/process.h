#pragma once
// The interpreter as a child process: its three standard streams are pipes
// to us, it runs in a process group of its own, and nothing here ever
// blocks the GUI thread. One implementation per platform behind this header.
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

struct launch_options {
    std::vector<std::string> argv; // argv[0] is the program's path; no shell
    std::vector<std::string> env;  // "NAME=value"; exactly this environment
    std::string cwd;               // working directory of the child
};

struct output_chunk {
    bool is_stderr = false;
    std::string bytes;
};

class child_process {
  public:
    // Starts the child. Returns null and sets `error` to a sentence fit for
    // the player when it cannot be started (program missing, not
    // executable, working directory missing...).
    static std::unique_ptr<child_process> start(const launch_options& opts, std::string& error);

    virtual ~child_process() = default;

    // Blocks until the child writes to stdout or stderr and returns those
    // bytes; chunked, never one call per byte. Returns false when there is
    // no more to read: stdout has ended and stderr has ended too, or the
    // child has exited (a grandchild holding stderr open cannot hold the
    // reader). Meant for one reader thread.
    bool read_output(output_chunk& chunk) { return read_output(chunk, -1); }
    // The same, but gives up after `timeout_ms` (-1: never) with an empty
    // chunk and true when nothing has arrived by then.
    virtual bool read_output(output_chunk& chunk, int timeout_ms) = 0;

    // Queues bytes for the child's stdin and returns at once: a child that
    // stops reading must never freeze the caller. False once stdin is known
    // to be closed (the child has gone).
    virtual bool write(std::string_view bytes) = 0;

    // The exit status once the child has exited (128+signal when killed by
    // a signal), none while it runs. Never blocks.
    virtual std::optional<int> poll() = 0;
    // Blocks until the child has exited and returns its status.
    virtual int wait() = 0;

    // Asks the child's process group to end (SIGTERM); kill() forces it
    // (SIGKILL). Both are ignored once the child has been reaped.
    virtual void terminate() = 0;
    virtual void kill() = 0;

    // Called once, on a thread of the process layer, when the child exits.
    // Set it before anything could make the child exit.
    virtual void on_exit(std::function<void(int status)> callback) = 0;

    virtual long pid() const = 0;
};

} // namespace tw
