#pragma once
// Starting a program on POSIX systems: the one place that calls posix_spawn,
// for the interpreter's process and the speech service alike. Every step of
// the set-up is checked: one that failed unseen would start a child that is
// not what was asked for, or none at all.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace tw {

struct spawn_request {
    // argv[0] is the program: a path, or with `search_path` a name looked
    // for on PATH. No shell.
    std::vector<std::string> argv;
    // "NAME=value" each; none: this program's own environment.
    std::optional<std::vector<std::string>> env;
    std::string cwd; // empty: this program's
    // What the child gets as stdin, stdout and stderr; -1: /dev/null.
    // Nothing else of ours is inherited.
    std::array<int, 3> streams{-1, -1, -1};
    bool search_path = false;
    // A session, and so a process group, of its own, with no terminal: its
    // group can be ended at once, and it cannot reach the terminal that
    // started us.
    bool own_session = false;
};

// The child's process id, or an errno value saying why it was not started.
// Every signal is at its default and none blocked in the child, whatever
// this program or its threads did with theirs.
struct spawn_result {
    pid_t pid = -1;
    int error = 0;
};
spawn_result spawn_program(const spawn_request& request);

} // namespace tw
