// The interpreter process layer against tests/tools/fake-interpreter, over
// real pipes. Nothing here waits on a clock: every wait is for an event
// (output, end of output, exit), so a broken layer shows as a hung test.
#include "game/process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <set>
#include <sstream>
#include <thread>

#include <signal.h>

namespace tw {
namespace {

namespace fs = std::filesystem;

const std::string python = "/usr/bin/python3";
const std::string fake = TALLOWICK_SOURCE_DIR "/tests/tools/fake-interpreter";

// A fresh directory of our own, removed at the end of the test.
struct temp_dir {
    fs::path path;
    temp_dir() {
        std::string pattern = (fs::temp_directory_path() / "tallowick-proc-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        if (!made)
            throw std::runtime_error("mkdtemp failed");
        path = fs::canonical(made);
    }
    ~temp_dir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

launch_options fake_options(const temp_dir& dir, std::vector<std::string> args) {
    launch_options opts;
    opts.argv = {python, fake};
    opts.argv.insert(opts.argv.end(), args.begin(), args.end());
    opts.env = {"PYTHONUNBUFFERED=1"};
    opts.cwd = dir.path.string();
    return opts;
}

std::unique_ptr<child_process> start_fake(const temp_dir& dir, std::vector<std::string> args) {
    std::string error;
    auto child = child_process::start(fake_options(dir, std::move(args)), error);
    EXPECT_TRUE(child) << error;
    return child;
}

// What fake-interpreter's pattern_bytes(n) writes.
std::string pattern_bytes(size_t n) {
    std::string s;
    char line[64];
    for (int k = 0; s.size() < n; ++k) {
        std::snprintf(line, sizeof line, "%07d the quick brown fox\n", k);
        s += line;
    }
    s.resize(n);
    return s;
}

struct streams {
    std::string out;
    std::string err;
    bool ended = false;
};

// Reads until `needle` has arrived on stdout (or stderr when `on_err`), or
// until the output ends.
void read_until(child_process& child, streams& s, std::string_view needle, bool on_err = false) {
    output_chunk chunk;
    while ((on_err ? s.err : s.out).find(needle) == std::string::npos) {
        if (!child.read_output(chunk)) {
            s.ended = true;
            return;
        }
        (chunk.is_stderr ? s.err : s.out) += chunk.bytes;
    }
}

void read_to_end(child_process& child, streams& s) {
    output_chunk chunk;
    while (child.read_output(chunk))
        (chunk.is_stderr ? s.err : s.out) += chunk.bytes;
    s.ended = true;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(process, echo_round_trip) {
    temp_dir dir;
    auto child = start_fake(dir, {"echo"});
    ASSERT_TRUE(child);
    EXPECT_GT(child->pid(), 0);
    streams s;
    read_until(*child, s, "\n>");
    EXPECT_EQ(s.out, "\n>");
    ASSERT_TRUE(child->write("look\n"));
    read_until(*child, s, "You said: look.\n\n>");
    ASSERT_FALSE(s.ended) << s.out;
    ASSERT_TRUE(child->write("quit\n"));
    read_to_end(*child, s);
    EXPECT_EQ(s.out, "\n>You said: look.\n\n>");
    EXPECT_EQ(s.err, "");
    EXPECT_EQ(child->wait(), 0);
    EXPECT_EQ(child->poll(), 0);
    EXPECT_FALSE(child->write("look\n")) << "stdin of a child that has exited";
    output_chunk chunk;
    EXPECT_FALSE(child->read_output(chunk)) << "the end stays the end";
}

TEST(process, environment_is_exactly_what_was_passed_and_cwd_is_set) {
    temp_dir dir;
    auto opts = fake_options(dir, {"env"});
    opts.env = {"PYTHONUNBUFFERED=1", "TW_SPACES=a b  c", "TW_EQUALS=x=y", "TW_EMPTY="};
    std::string error;
    auto child = child_process::start(opts, error);
    ASSERT_TRUE(child) << error;
    streams s;
    read_to_end(*child, s);
    EXPECT_EQ(child->wait(), 0) << s.err;

    std::multiset<std::string> env;
    std::string cwd;
    for (const auto& line : lines_of(s.out)) {
        if (line.rfind("env:", 0) == 0)
            env.insert(line.substr(4));
        else if (line.rfind("cwd:", 0) == 0)
            cwd = line.substr(4);
    }
    EXPECT_EQ(env, std::multiset<std::string>(opts.env.begin(), opts.env.end()));
    EXPECT_EQ(cwd, dir.path.string());
}

TEST(process, arguments_reach_the_child_unchanged_and_no_shell_runs) {
    temp_dir dir;
    std::vector<std::string> args = {"env",        "two words",  "\"double\"", "'single'",
                                     "$(touch x)", "`touch y`",  "; touch z",  "*",
                                     "",           "back\\slash"};
    auto opts = fake_options(dir, args);
    std::string error;
    auto child = child_process::start(opts, error);
    ASSERT_TRUE(child) << error;
    streams s;
    read_to_end(*child, s);
    EXPECT_EQ(child->wait(), 0) << s.err;

    std::vector<std::string> got;
    for (const auto& line : lines_of(s.out))
        if (line.rfind("arg:", 0) == 0)
            got.push_back(line.substr(4));
    EXPECT_EQ(got, opts.argv);
    EXPECT_TRUE(fs::is_empty(dir.path)) << "something ran a shell in the working directory";
}

TEST(process, missing_program_is_reported) {
    temp_dir dir;
    launch_options opts;
    opts.argv = {(dir.path / "no-such-interpreter").string(), "story.z5"};
    opts.cwd = dir.path.string();
    std::string error;
    auto child = child_process::start(opts, error);
    EXPECT_FALSE(child);
    EXPECT_NE(error.find(opts.argv[0]), std::string::npos) << error;
    EXPECT_NE(error.find("could not be started: No such file or directory."), std::string::npos)
        << error;
}

TEST(process, non_executable_program_is_reported) {
    temp_dir dir;
    fs::path program = dir.path / "interpreter";
    std::ofstream(program) << "#!/bin/sh\necho hello\n";
    fs::permissions(program, fs::perms::owner_read | fs::perms::owner_write);
    launch_options opts;
    opts.argv = {program.string()};
    std::string error;
    auto child = child_process::start(opts, error);
    EXPECT_FALSE(child);
    EXPECT_NE(error.find(program.string()), std::string::npos) << error;
    EXPECT_NE(error.find("Permission denied."), std::string::npos) << error;
}

TEST(process, missing_working_directory_is_reported) {
    temp_dir dir;
    auto opts = fake_options(dir, {"echo"});
    opts.cwd = (dir.path / "gone").string();
    std::string error;
    auto child = child_process::start(opts, error);
    EXPECT_FALSE(child);
    EXPECT_NE(error.find(opts.cwd), std::string::npos) << error;
    EXPECT_NE(error.find("No such file or directory."), std::string::npos) << error;
}

TEST(process, empty_argument_vector_is_reported) {
    std::string error;
    EXPECT_FALSE(child_process::start(launch_options{}, error));
    EXPECT_FALSE(error.empty());
}

TEST(process, exit_status_through_poll_wait_and_on_exit) {
    temp_dir dir;
    auto child = start_fake(dir, {"stderr", "100"});
    ASSERT_TRUE(child);
    std::atomic<int> calls{0};
    std::promise<int> exited;
    child->on_exit([&](int status) {
        if (calls++ == 0)
            exited.set_value(status);
    });
    EXPECT_EQ(exited.get_future().get(), 3);
    EXPECT_EQ(child->poll(), 3);
    EXPECT_EQ(child->wait(), 3);
    streams s;
    read_to_end(*child, s);
    EXPECT_EQ(s.err, pattern_bytes(100));
    child.reset(); // joins the watcher: no call can come after this
    EXPECT_EQ(calls.load(), 1);
}

TEST(process, on_exit_set_after_the_exit_runs_at_once_on_the_caller) {
    temp_dir dir;
    auto child = start_fake(dir, {"exit", "7"});
    ASSERT_TRUE(child);
    EXPECT_EQ(child->wait(), 7);
    int got = -1;
    std::thread::id ran_on;
    child->on_exit([&](int status) {
        got = status;
        ran_on = std::this_thread::get_id();
    });
    EXPECT_EQ(got, 7);
    EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST(process, poll_is_empty_while_the_child_runs) {
    temp_dir dir;
    auto child = start_fake(dir, {"echo"});
    ASSERT_TRUE(child);
    streams s;
    read_until(*child, s, "\n>");
    EXPECT_FALSE(child->poll()); // it is waiting for a line from us
    child->write("quit\n");
    EXPECT_EQ(child->wait(), 0);
}

TEST(process, crash_reports_the_signal_and_keeps_the_output_before_it) {
    temp_dir dir;
    for (auto [name, sig] : {std::pair{"KILL", SIGKILL}, std::pair{"SEGV", SIGSEGV}}) {
        auto child = start_fake(dir, {"crash", name});
        ASSERT_TRUE(child);
        streams s;
        read_to_end(*child, s);
        EXPECT_EQ(s.out, "The troll swings his ax") << name;
        EXPECT_EQ(child->wait(), 128 + sig) << name;
    }
}

TEST(process, a_megabyte_on_stderr_does_not_deadlock) {
    temp_dir dir;
    constexpr size_t size = 1 << 20;
    auto child = start_fake(dir, {"stderr", std::to_string(size)});
    ASSERT_TRUE(child);
    streams s;
    read_to_end(*child, s);
    EXPECT_EQ(s.err.size(), size);
    EXPECT_TRUE(s.err == pattern_bytes(size));
    EXPECT_EQ(child->wait(), 3);
}

TEST(process, writes_to_a_child_that_never_reads_return) {
    temp_dir dir;
    auto child = start_fake(dir, {"hang"});
    ASSERT_TRUE(child);
    streams s;
    read_until(*child, s, "ready\n");
    // Far more than a pipe holds; the test finishing is the assertion.
    std::string piece(1024, 'n');
    piece.back() = '\n';
    for (int i = 0; i < 1024; ++i)
        ASSERT_TRUE(child->write(piece));
    child->terminate();
    read_to_end(*child, s);
    EXPECT_EQ(child->wait(), 128 + SIGTERM);
    EXPECT_FALSE(child->write(piece));
}

TEST(process, terminate_ends_the_child_and_what_it_spawned) {
    temp_dir dir;
    auto child = start_fake(dir, {"hang"});
    ASSERT_TRUE(child);
    streams s;
    read_until(*child, s, "ready\n");
    auto lines = lines_of(s.out);
    ASSERT_EQ(lines.size(), 3u) << s.out;
    EXPECT_EQ(lines[0], "pid " + std::to_string(child->pid()));
    child->terminate();
    // The grandchild holds stdout too: the output only ends once both the
    // child and the grandchild are gone.
    read_to_end(*child, s);
    EXPECT_EQ(child->wait(), 128 + SIGTERM);
}

TEST(process, kill_ends_a_child_that_ignores_terminate) {
    temp_dir dir;
    auto child = start_fake(dir, {"hang", "--ignore-term"});
    ASSERT_TRUE(child);
    streams s;
    read_until(*child, s, "ready\n");
    child->terminate(); // ignored by child and grandchild
    child->kill();
    read_to_end(*child, s);
    EXPECT_EQ(child->wait(), 128 + SIGKILL);
    child->terminate(); // after the reap: a no-op, and no harm
    child->kill();
}

TEST(process, destroying_a_running_child_kills_and_reaps_it) {
    temp_dir dir;
    auto child = start_fake(dir, {"hang", "--ignore-term"});
    ASSERT_TRUE(child);
    streams s;
    read_until(*child, s, "ready\n");
    std::atomic<int> status{-1};
    child->on_exit([&](int st) { status = st; });
    pid_t pid = static_cast<pid_t>(child->pid());
    child.reset();
    EXPECT_EQ(status.load(), 128 + SIGKILL);
    // Reaped by the destructor: the pid is no longer our child.
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(process, flood_of_two_megabytes_arrives_byte_for_byte) {
    temp_dir dir;
    constexpr size_t size = 2 << 20;
    auto child = start_fake(dir, {"flood", std::to_string(size)});
    ASSERT_TRUE(child);
    streams s;
    output_chunk chunk;
    size_t chunks = 0;
    while (child->read_output(chunk)) {
        ++chunks;
        (chunk.is_stderr ? s.err : s.out) += chunk.bytes;
    }
    EXPECT_EQ(s.out.size(), size);
    EXPECT_TRUE(s.out == pattern_bytes(size));
    EXPECT_LT(chunks, size / 64) << "read in chunks, not bytes";
    EXPECT_EQ(child->wait(), 0);
}

TEST(process, a_thousand_lines_come_back_in_order) {
    temp_dir dir;
    auto child = start_fake(dir, {"count"});
    ASSERT_TRUE(child);
    constexpr int n = 1000;
    for (int i = 0; i < n; ++i)
        ASSERT_TRUE(child->write("line " + std::to_string(i) + "\n"));
    streams s;
    read_until(*child, s, "got line " + std::to_string(n - 1) + "\n");
    ASSERT_FALSE(s.ended) << s.err;
    auto lines = lines_of(s.out);
    ASSERT_EQ(lines.size(), size_t(n));
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(lines[i], "got line " + std::to_string(i));
    child->write("quit\n");
    read_to_end(*child, s);
    EXPECT_EQ(child->wait(), 0);
}

TEST(process, a_grandchild_holding_stderr_does_not_hold_the_reader) {
    temp_dir dir;
    auto child = start_fake(dir, {"orphan"});
    ASSERT_TRUE(child);
    streams s;
    read_to_end(*child, s); // returns although the grandchild keeps stderr
    EXPECT_EQ(s.out, "parent done\n");
    EXPECT_EQ(child->wait(), 0);
}

TEST(process, stderr_after_stdout_has_ended_is_still_read) {
    temp_dir dir;
    auto child = start_fake(dir, {"closeout"});
    ASSERT_TRUE(child);
    streams s;
    read_until(*child, s, "stdout closed\n", true);
    ASSERT_FALSE(s.ended);
    child->write("go\n");
    read_to_end(*child, s);
    EXPECT_EQ(s.out, "");
    EXPECT_EQ(s.err, "stdout closed\nbye\n");
    EXPECT_EQ(child->wait(), 4);
}

TEST(process, the_child_holds_none_of_our_descriptors) {
    temp_dir dir;
    // Another child running alongside has pipes and an event descriptor open.
    auto other = start_fake(dir, {"hang"});
    ASSERT_TRUE(other);
    auto child = start_fake(dir, {"fds"});
    ASSERT_TRUE(child);
    streams s;
    read_to_end(*child, s);
    EXPECT_EQ(s.out, "end\n");
    EXPECT_EQ(child->wait(), 0);
}

TEST(process, the_child_starts_with_default_signal_handling) {
    // start() ignores SIGPIPE in this process, and the test runner may block
    // signals; the interpreter must inherit neither.
    temp_dir dir;
    launch_options opts;
    opts.argv = {"/bin/cat", "/proc/self/status"};
    opts.cwd = dir.path.string();
    std::string error;
    auto child = child_process::start(opts, error);
    ASSERT_TRUE(child) << error;
    streams s;
    read_to_end(*child, s);
    EXPECT_EQ(child->wait(), 0) << s.err;
    EXPECT_NE(s.out.find("\nSigBlk:\t0000000000000000\n"), std::string::npos) << s.out;
    EXPECT_NE(s.out.find("\nSigIgn:\t0000000000000000\n"), std::string::npos) << s.out;
    struct sigaction ours {};
    ::sigaction(SIGPIPE, nullptr, &ours);
    EXPECT_EQ(ours.sa_handler, SIG_IGN);
}

} // namespace
} // namespace tw
