#include "core/platform/spawn.h"

#include <csignal>

#include <fcntl.h>
#include <spawn.h>

extern char** environ;

namespace tw {
namespace {

std::vector<char*> pointers_to(const std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (const auto& s : strings)
        out.push_back(const_cast<char*>(s.c_str()));
    out.push_back(nullptr);
    return out;
}

} // namespace

spawn_result spawn_program(const spawn_request& request) {
    if (request.argv.empty() || request.argv[0].empty())
        return {-1, ENOENT};
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (int e = posix_spawn_file_actions_init(&actions); e != 0)
        return {-1, e};
    if (int e = posix_spawnattr_init(&attr); e != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return {-1, e};
    }
    int error = 0;
    auto check = [&error](int result) {
        if (error == 0 && result != 0)
            error = result;
    };
    for (int target : {0, 1, 2}) {
        int from = request.streams[static_cast<size_t>(target)];
        check(from >= 0 ? posix_spawn_file_actions_adddup2(&actions, from, target)
                        : posix_spawn_file_actions_addopen(&actions, target, "/dev/null",
                                                           target ? O_WRONLY : O_RDONLY, 0));
    }
    // Libraries in this program (toolkit, speech) may hold descriptors that
    // are not close-on-exec; no child has business with them.
    check(posix_spawn_file_actions_addclosefrom_np(&actions, 3));
    if (!request.cwd.empty())
        check(posix_spawn_file_actions_addchdir_np(&actions, request.cwd.c_str()));
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    check(posix_spawnattr_setsigmask(&attr, &none));
    check(posix_spawnattr_setsigdefault(&attr, &all));
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (request.own_session)
        flags |= POSIX_SPAWN_SETSID;
    check(posix_spawnattr_setflags(&attr, flags));

    auto argv = pointers_to(request.argv);
    std::vector<char*> envp;
    if (request.env)
        envp = pointers_to(*request.env);
    char** environment = request.env ? envp.data() : environ;
    pid_t pid = -1;
    if (error == 0)
        error = request.search_path
                    ? ::posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environment)
                    : ::posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environment);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return error == 0 ? spawn_result{pid, 0} : spawn_result{-1, error};
}

} // namespace tw
