#pragma once
// The interpreter as a child process: its three standard streams are pipes
// to us, it runs in a process group of its own, and nothing here ever blocks
// the GUI thread. One implementation per platform behind this header.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// A path as the process layer takes it: UTF-8 on Windows, the bytes as they
// are elsewhere (a name in another encoding must reach the child unchanged).
inline std::string argument_of(const std::filesystem::path& p) {
    auto u8 = p.u8string();
    return std::string(reinterpret_cast<const char*>(u8.data()), u8.size());
}

// What an interpreter may reach besides its standard streams: a story from
// the internet may have taken it over. On Linux the launcher `confine`
// holds it there (src/confine), on Windows its job object; each as far as
// the system allows, which confinement_report() tells.
struct confinement {
    // Files it may read: its story and the story's companions.
    std::vector<std::string> readable;
    // The folder where it may make, write and remove files: the save
    // folder. Empty: none.
    std::string writable;
    // Files in that folder it may read but never change or remove: the
    // stories kept there.
    std::vector<std::string> kept;
    // The most memory it may take (its address space on Linux, committed
    // memory on Windows), and the largest file it may write. Past either
    // it fails or is ended: a crash, told as one.
    std::uint64_t memory_bytes = std::uint64_t{2} << 30;
    std::uint64_t file_bytes = std::uint64_t{256} << 20;
};

struct launch_options {
    std::vector<std::string> argv; // argv[0] is the program's path; no shell
    std::vector<std::string> env;  // "NAME=value"; exactly this environment
    std::string cwd;               // working directory of the child
    // None only for the process layer's own tests of its pipes.
    std::optional<confinement> confined;
};

// One line saying which confinements this system gives every interpreter:
// "Interpreters confined: files, sockets, processes, memory." when all.
std::string confinement_report();

struct output_chunk {
    bool is_stderr = false;
    std::string bytes;
};

// All of the child's pipes are served by read_output(), on one thread (the
// game's reader): it writes what write() queued, notices the exit, and
// returns what the child wrote.
class child_process {
  public:
    // Starts the child. Returns null and sets `error` to a sentence fit for
    // the player when it cannot be started (program missing, not executable,
    // working directory missing...).
    static std::unique_ptr<child_process> start(const launch_options& opts, std::string& error);

    // Ends the child by force if it still runs.
    virtual ~child_process() = default;

    // Waits up to `timeout_ms` (-1: for ever) for output and returns it in
    // chunks, never a byte at a time; an empty chunk means the time ran out.
    // Returns false when there is no more to read: the child has exited and
    // what it left in the pipes has been read (a process it left behind that
    // holds them open cannot hold the reader).
    virtual bool read_output(output_chunk& chunk, int timeout_ms) = 0;

    // Queues bytes for the child's stdin and returns at once: a child that
    // stops reading must never freeze the caller. False once the child has
    // gone.
    virtual bool write(std::string_view bytes) = 0;

    // The exit status once read_output() has seen the child exit (128+signal
    // when killed by a signal), none before. Never blocks.
    virtual std::optional<int> poll() = 0;
    // Waits until read_output(), running on another thread, has seen the
    // child exit, or `timeout` has passed. Returns whether it has exited.
    virtual bool wait_for_exit(std::chrono::milliseconds timeout) = 0;

    // Asks the child's process group to end; kill() forces it. Both do
    // nothing once the child has exited.
    virtual void terminate() = 0;
    virtual void kill() = 0;
};

} // namespace tw
