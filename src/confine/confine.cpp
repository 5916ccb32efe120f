// confine: starts one interpreter confined to its game from its first
// instruction on. The process layer runs every interpreter through it:
//
//   confine --parent PID [--read FILE]... [--write FOLDER] [--keep FILE]...
//           [--memory BYTES] [--file-size BYTES] -- PROGRAM [ARGUMENT]...
//   confine --probe
//
// The interpreter may read the FILEs (its story, the story's companions),
// PROGRAM, and the system's libraries, locale and time zone data; create,
// write and remove files in FOLDER (the save folder), but only read the KEPT
// files there (the stories); nothing else. It makes no socket, starts no
// program and no process, signals and traces none but itself, gains no
// privilege, and dies with PID. Its address space and every file it writes
// are capped: past the first, memory is refused; past the second, the
// kernel ends it (SIGXFSZ), and the player is told of a crash.
//
// How, with the kernel's own means and libseccomp, each as far as this
// system gives it (--probe tries them all and prints which, the last line
// of `tallowick --version`):
// - files: Landlock, with every right this kernel's ABI knows handled;
// - the kept stories: each bound read-only over itself in a mount namespace
//   of its own (in a user namespace), so that it can be neither written,
//   nor removed, nor renamed over (a mount point is busy);
// - sockets, processes, signals, ptrace, and what Landlock leaves open on
//   older kernels (truncating by name, modes, owners): a seccomp filter;
// - memory and file size: resource limits.
// TALLOWICK_LANDLOCK_ABI=N (for tests) asks Landlock for no more than ABI N,
// as an older kernel would give; it is not passed on.
#include <seccomp.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

extern char** environ;

namespace {

// Landlock's interface as the kernel documents it (linux/landlock.h), the
// rights of every ABI up to 6: this system's headers may be older than its
// kernel.
namespace landlock {
constexpr std::uint64_t execute = 1 << 0, write_file = 1 << 1, read_file = 1 << 2,
                        read_dir = 1 << 3, remove_file = 1 << 5, make_reg = 1 << 8,
                        abi1_all = (1 << 13) - 1, refer = 1 << 13, truncate = 1 << 14,
                        ioctl_dev = 1 << 15;
constexpr std::uint64_t file_rights = execute | write_file | read_file | truncate | ioctl_dev;
constexpr std::uint64_t net_bind_tcp = 1 << 0, net_connect_tcp = 1 << 1;
constexpr std::uint64_t scope_abstract_unix_socket = 1 << 0, scope_signal = 1 << 1;
struct ruleset_attr {
    std::uint64_t handled_access_fs, handled_access_net, scoped;
};
struct path_beneath_attr {
    std::uint64_t allowed_access;
    std::int32_t parent_fd;
} __attribute__((packed));
constexpr int rule_path_beneath = 1;
constexpr unsigned create_ruleset_version = 1 << 0;
} // namespace landlock

// mount_setattr(2)'s argument; glibc's headers clash with the kernel's.
struct mount_attr {
    std::uint64_t attr_set, attr_clr, propagation, userns_fd;
};
constexpr std::uint64_t mount_attr_rdonly = 0x1;

// The system's files every interpreter may read: its libraries (and the
// dynamic loader, which the kernel opens as it execs, and so may also
// execute: the seccomp filter refuses every exec after ours), then the
// loader's cache, locale, character set and time zone data.
const char* const system_libraries[] = {"/lib", "/lib64", "/usr/lib", "/usr/lib64",
                                        "/usr/local/lib"};
const char* const system_data[] = {"/etc/ld.so.cache", "/etc/localtime", "/usr/share/zoneinfo",
                                   "/usr/share/locale"};

struct request {
    pid_t parent = 0;
    std::vector<const char*> readable, kept;
    const char* writable = nullptr;
    rlim_t memory = 0, file_size = 0;
    char** program = nullptr; // PROGRAM and its arguments, null-terminated
    bool probe = false;
};

// What was put in place, for --probe.
struct protections {
    bool files = false, stories = false, system_calls = false, single_exec = false,
         memory = false;
};

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "confine: %s: %s\n", what, std::strerror(errno));
    _exit(127);
}

[[noreturn]] void usage() {
    std::fputs("usage: confine --parent PID [--read FILE]... [--write FOLDER] [--keep FILE]...\n"
               "               [--memory BYTES] [--file-size BYTES] -- PROGRAM [ARGUMENT]...\n"
               "       confine --probe\n",
               stderr);
    _exit(127);
}

request read_arguments(int argc, char** argv) {
    request r;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--probe") {
            r.probe = true;
            continue;
        }
        if (option == "--") {
            r.program = argv + i + 1;
            break;
        }
        if (i + 1 >= argc)
            usage();
        const char* value = argv[++i];
        if (option == "--read")
            r.readable.push_back(value);
        else if (option == "--keep")
            r.kept.push_back(value);
        else if (option == "--write")
            r.writable = value;
        else if (option == "--parent")
            r.parent = static_cast<pid_t>(std::atol(value));
        else if (option == "--memory")
            r.memory = std::strtoull(value, nullptr, 10);
        else if (option == "--file-size")
            r.file_size = std::strtoull(value, nullptr, 10);
        else
            usage();
    }
    if (!r.probe && (!r.program || !r.program[0] || r.parent <= 0))
        usage();
    return r;
}

bool write_text(const char* path, const std::string& text) {
    int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool whole = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && whole;
}

void limit(int resource, rlim_t most) {
    rlimit l{most, most};
    if (::setrlimit(resource, &l) != 0)
        fail("setrlimit");
}

// Binds each kept file read-only over itself, in mount and user namespaces
// of our own that the interpreter inherits. False when this system gives
// an ordinary user no such namespace, or one without the right to mount
// (as Ubuntu's AppArmor may): the game is played all the same.
bool keep_unchanged(const std::vector<const char*>& kept) {
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 ||
        !write_text("/proc/self/setgroups", "deny") ||
        !write_text("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1") ||
        !write_text("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1"))
        return false;
    // Mounts in a namespace of a less privileged user propagate nowhere
    // else: these binds are the interpreter's alone.
    mount_attr read_only{mount_attr_rdonly, 0, 0, 0};
    bool all = true;
    for (const char* file : kept) {
        if (::mount(file, file, nullptr, MS_BIND, nullptr) != 0) {
            all = all && errno == ENOENT; // gone since it was named: nothing to keep
            continue;
        }
        if (::syscall(SYS_mount_setattr, AT_FDCWD, file, 0, &read_only, sizeof read_only) != 0)
            all = false;
    }
    return all;
}

// Ambient and bounding capabilities go, so that the program keeps none
// after exec, even run by root or in the user namespace above.
void drop_capabilities() {
    ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    for (int cap = 0; ::prctl(PR_CAPBSET_READ, cap, 0, 0, 0) >= 0; ++cap)
        if (::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0 && errno != EPERM)
            fail("dropping capabilities");
}

int landlock_abi() {
    long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0,
                         landlock::create_ruleset_version);
    if (abi < 0)
        return 0;
    if (const char* most = std::getenv("TALLOWICK_LANDLOCK_ABI"))
        abi = std::min(abi, std::atol(most));
    return static_cast<int>(abi);
}

// Only what is granted here may be reached on a path from now on.
bool restrict_files(const request& r) {
    const int abi = landlock_abi();
    if (abi < 1)
        return false;
    landlock::ruleset_attr attr{landlock::abi1_all, 0, 0};
    if (abi >= 2)
        attr.handled_access_fs |= landlock::refer;
    if (abi >= 3)
        attr.handled_access_fs |= landlock::truncate;
    if (abi >= 5)
        attr.handled_access_fs |= landlock::ioctl_dev;
    // No TCP at all, and no abstract socket or signal outside: the seccomp
    // filter below already refuses sockets and signals; these hold too
    // should it be missing.
    if (abi >= 4)
        attr.handled_access_net = landlock::net_bind_tcp | landlock::net_connect_tcp;
    if (abi >= 6)
        attr.scoped = landlock::scope_abstract_unix_socket | landlock::scope_signal;
    const size_t size = abi >= 6 ? 24 : abi >= 4 ? 16 : 8;
    const int ruleset = static_cast<int>(::syscall(SYS_landlock_create_ruleset, &attr, size, 0));
    if (ruleset < 0)
        fail("landlock_create_ruleset");
    auto allow = [&](const char* path, std::uint64_t rights) {
        int fd = ::open(path, O_PATH | O_CLOEXEC);
        if (fd < 0)
            return; // not on this system, or not there: nothing to grant
        struct stat st;
        if (::fstat(fd, &st) != 0)
            fail(path);
        if (!S_ISDIR(st.st_mode))
            rights &= landlock::file_rights;
        landlock::path_beneath_attr rule{rights & attr.handled_access_fs, fd};
        if (::syscall(SYS_landlock_add_rule, ruleset, landlock::rule_path_beneath, &rule, 0) != 0)
            fail(path);
        ::close(fd);
    };
    for (const char* path : system_libraries)
        allow(path, landlock::read_file | landlock::read_dir | landlock::execute);
    for (const char* path : system_data)
        allow(path, landlock::read_file | landlock::read_dir);
    allow("/dev/null", landlock::read_file | landlock::write_file);
    allow("/dev/urandom", landlock::read_file);
    // Its own /proc entries (glibc reads its memory map there); /proc/self
    // names this process, the same after exec.
    allow("/proc/self", landlock::read_file | landlock::read_dir);
    if (r.program)
        allow(r.program[0], landlock::read_file | landlock::execute);
    for (const char* file : r.readable)
        allow(file, landlock::read_file);
    if (r.writable)
        allow(r.writable, landlock::read_file | landlock::read_dir | landlock::write_file |
                              landlock::make_reg | landlock::remove_file | landlock::truncate);
    if (::syscall(SYS_landlock_restrict_self, ruleset, 0) != 0)
        fail("landlock_restrict_self");
    ::close(ruleset);
    return true;
}

// The one exec the filter lets through names its program from this page,
// at the lowest address the kernel maps: the filter refuses execve with any
// other pointer and refuses to map anything here, so after the exec no
// program can be named from here again. Null when the page cannot be had.
char* exec_page(const char* program) {
    long lowest = 65536;
    if (std::FILE* f = std::fopen("/proc/sys/vm/mmap_min_addr", "re")) {
        if (std::fscanf(f, "%ld", &lowest) != 1)
            lowest = 65536;
        std::fclose(f);
    }
    const long page = ::sysconf(_SC_PAGESIZE);
    const size_t size = std::strlen(program) + 1;
    void* at = reinterpret_cast<void*>((lowest + page - 1) / page * page);
    void* got = ::mmap(at, size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (got == MAP_FAILED || got != at)
        return nullptr;
    std::memcpy(got, program, size);
    return static_cast<char*>(got);
}

bool filter_system_calls(const char* exec_name) {
    scmp_filter_ctx filter = ::seccomp_init(SCMP_ACT_ALLOW);
    if (!filter)
        return false;
    // A tree of the calls named, rather than a list: every call the game
    // makes passes through the filter.
    bool ok = ::seccomp_attr_set(filter, SCMP_FLTATR_CTL_OPTIMIZE, 2) == 0;
    auto refuse = [&](const char* name, int error, std::vector<scmp_arg_cmp> when = {}) {
        int number = ::seccomp_syscall_resolve_name(name);
        if (number == __NR_SCMP_ERROR)
            return; // a call this libseccomp, and so this system, does not know
        ok = ok && ::seccomp_rule_add_array(filter, SCMP_ACT_ERRNO(error), number,
                                            static_cast<unsigned>(when.size()),
                                            when.data()) == 0;
    };
    const auto self = static_cast<scmp_datum_t>(::getpid());

    // Sockets of every family, and io_uring, which makes them too.
    for (const char* call : {"socket", "socketpair", "io_uring_setup", "io_uring_enter",
                             "io_uring_register"})
        refuse(call, EACCES);

    // No other process: threads only, and no program but this one.
    for (const char* call : {"fork", "vfork", "execveat"})
        refuse(call, EPERM);
#ifdef TALLOWICK_SANITIZED
    // LeakSanitizer's tracer shares our memory and stops our threads.
    refuse("clone", EPERM, {SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD | CLONE_VM, 0)});
#else
    refuse("clone", EPERM, {SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0)});
#endif
    // Its flags lie in memory, out of the filter's sight: glibc falls back
    // to clone.
    refuse("clone3", ENOSYS);
    // Without the page, Landlock alone limits what may be run.
    if (exec_name) {
        refuse("execve", EPERM, {SCMP_A0(SCMP_CMP_NE, reinterpret_cast<scmp_datum_t>(exec_name))});
        // Nothing may be mapped where the name was, with any hint below it
        // (the kernel raises lower ones to the lowest address, and ignores
        // those below a page): each rule covers addresses [2^k, 2^(k+1)).
        const auto top = reinterpret_cast<scmp_datum_t>(exec_name) * 2;
        for (auto low = static_cast<scmp_datum_t>(::sysconf(_SC_PAGESIZE)); low < top; low *= 2) {
            const auto range = SCMP_CMP_MASKED_EQ;
            refuse("mmap", EPERM, {SCMP_A0(range, ~(low - 1), low)});
            refuse("mremap", EPERM,
                   {SCMP_A3(SCMP_CMP_MASKED_EQ, MREMAP_FIXED, MREMAP_FIXED),
                    SCMP_A4(range, ~(low - 1), low)});
            refuse("mremap", EPERM,
                   {SCMP_A3(SCMP_CMP_MASKED_EQ, MREMAP_DONTUNMAP, MREMAP_DONTUNMAP),
                    SCMP_A4(range, ~(low - 1), low)});
        }
    }

    // Signals only to itself.
    for (const char* call : {"kill", "tgkill", "rt_sigqueueinfo", "rt_tgsigqueueinfo"})
        refuse(call, EPERM, {SCMP_A0(SCMP_CMP_NE, self)});
    for (const char* call : {"tkill", "pidfd_open", "pidfd_send_signal", "pidfd_getfd"})
        refuse(call, EPERM);
#ifndef TALLOWICK_SANITIZED
    refuse("ptrace", EPERM);
#endif
    for (const char* call : {"process_vm_readv", "process_vm_writev", "kcmp"})
        refuse(call, EPERM);
    // The terminal's input queue, should a terminal be reached at all.
    // The kernel reads the request as 32 bits, whatever lies above them.
    refuse("ioctl", EPERM, {SCMP_A1(SCMP_CMP_MASKED_EQ, 0xffffffff, TIOCSTI)});

    // What Landlock leaves to DAC: metadata, and on ABI 1 and 2 truncation
    // by name (truncate(2), or a read-only open with O_TRUNC).
    for (const char* call :
         {"truncate", "chmod", "fchmod", "fchmodat", "fchmodat2", "chown", "fchown", "lchown",
          "fchownat", "setxattr", "lsetxattr", "fsetxattr", "removexattr", "lremovexattr",
          "fremovexattr", "setxattrat", "removexattrat", "file_setattr", "utime", "utimes",
          "futimesat"})
        refuse(call, EPERM);
    // Its flags lie in memory too; glibc does not use it.
    refuse("openat2", ENOSYS);
    refuse("open", EPERM, {SCMP_A1(SCMP_CMP_MASKED_EQ, O_TRUNC | O_ACCMODE, O_TRUNC)});
    refuse("openat", EPERM, {SCMP_A2(SCMP_CMP_MASKED_EQ, O_TRUNC | O_ACCMODE, O_TRUNC)});

    // Other ways to reach other processes or watch the user's files:
    // System V and POSIX message passing, file watches, kernel keys,
    // namespaces and mounts, BPF and perf.
    for (const char* call :
         {"shmget", "shmat", "shmctl", "msgget", "msgsnd", "msgrcv", "msgctl", "semget", "semop",
          "semtimedop", "semctl", "mq_open", "mq_unlink", "mq_timedsend", "mq_timedreceive",
          "mq_notify", "mq_getsetattr", "inotify_init", "inotify_init1", "inotify_add_watch",
          "fanotify_init", "fanotify_mark", "keyctl", "add_key", "request_key", "unshare",
          "setns", "mount", "umount2", "pivot_root", "chroot", "open_tree", "move_mount",
          "fsopen", "fsconfig", "fsmount", "fspick", "mount_setattr", "bpf", "perf_event_open",
          "userfaultfd"})
        refuse(call, EPERM);

    ok = ok && ::seccomp_load(filter) == 0;
    ::seccomp_release(filter);
    return ok;
}

void print_protections(const protections& p) {
    std::string on, off;
    auto add = [&](bool given, const char* name) {
        std::string& list = given ? on : off;
        list += (list.empty() ? "" : ", ") + std::string(name);
    };
    add(p.files, p.files && !p.stories ? "files (but not the stories kept in the save folder)"
                                       : "files");
    add(p.system_calls, "sockets");
    // Without the exec page, only Landlock keeps it from other programs.
    add(p.system_calls && (p.single_exec || p.files), "processes");
    add(p.memory, "memory");
    std::printf("Interpreters confined: %s%s%s.\n", on.empty() ? "nothing" : on.c_str(),
                off.empty() ? "" : "; not confined: ", off.c_str());
}

} // namespace

int main(int argc, char** argv) {
    const request r = read_arguments(argc, argv);
    protections given;

    if (r.file_size)
        limit(RLIMIT_FSIZE, r.file_size);
    // A crash leaves no core file in the save folder.
    limit(RLIMIT_CORE, 0);
#ifndef TALLOWICK_SANITIZED // the sanitizers reserve terabytes of address space
    given.memory = r.probe || r.memory;
    if (r.memory)
        limit(RLIMIT_AS, r.memory);
#endif

    given.stories = (r.probe || !r.kept.empty()) && keep_unchanged(r.kept);
    // After the namespaces, whose change of credentials may clear it.
    if (!r.probe) {
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0) != 0)
            fail("prctl");
        if (::getppid() != r.parent)
            _exit(127); // Tallowick has gone already
    }
    drop_capabilities();
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        fail("prctl");
    // Before Landlock, which closes /proc/sys.
    const char* exec_name = exec_page(r.program ? r.program[0] : "");
    given.files = restrict_files(r);
    given.single_exec = exec_name != nullptr;
    given.system_calls = filter_system_calls(exec_name);

    if (r.probe) {
        print_protections(given);
        return 0;
    }
    ::unsetenv("TALLOWICK_LANDLOCK_ABI");
    // The filter lets exactly this pointer through.
    ::syscall(SYS_execve, exec_name ? exec_name : r.program[0], r.program, environ);
    fail(r.program[0]);
}
