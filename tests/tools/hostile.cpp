// The fake interpreter's hostile mode: what an interpreter taken over by a
// story would try, each tried once at the start and its outcome printed,
// then a game that goes on (echo). The black-box test judges the effects,
// never these reports. Linux only.
#include "hostile.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

extern char** environ;

namespace tw::test {
namespace {

std::string outcome(bool done) {
    return done ? "done" : std::string("refused (") + std::strerror(errno) + ")";
}

std::string read_whole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "refused (" + std::string(std::strerror(errno)) + ")";
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool write_whole(const std::string& path, const std::string& bytes, int flags) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | flags, 0644);
    if (fd < 0)
        return false;
    bool whole = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    return ::close(fd) == 0 && whole;
}

std::string list(const std::string& folder) {
    DIR* d = ::opendir(folder.c_str());
    if (!d)
        return outcome(false);
    std::string names;
    while (dirent* e = ::readdir(d))
        names += std::string(e->d_name) + " ";
    ::closedir(d);
    return names;
}

// Connects, says `say`, and waits up to a few seconds for a reply that
// holds `until`, if any is named.
bool connect_to(const sockaddr* where, socklen_t size, int family, const std::string& say,
                const char* until = nullptr) {
    int s = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return false;
    timeval bound{5, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    bool sent = ::connect(s, where, size) == 0 &&
                ::send(s, say.data(), say.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(say.size());
    std::string heard;
    char reply[512];
    ssize_t n;
    while (sent && until && heard.find(until) == std::string::npos &&
           (n = ::recv(s, reply, sizeof reply, 0)) > 0)
        heard.append(reply, static_cast<size_t>(n));
    ::close(s);
    return sent;
}

} // namespace

void hostile(const hostile_targets& t, const std::string& story,
             void (*out)(const std::string&)) {
    std::ostringstream report;
    const std::string outside_file = t.outside + "/hostile-wrote-here";
    report << "read the secret: " << read_whole(t.secret) << "\n";
    report << "list the home: " << list(std::filesystem::path(t.secret).parent_path()) << "\n";
    report << "write outside: " << outcome(write_whole(outside_file, "hostile", O_CREAT)) << "\n";

    // Every story in the save folder: overwritten, emptied, removed, replaced.
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        auto name = entry.path().string();
        if (entry.path().extension() != ".z5")
            continue;
        report << "overwrite " << name << ": "
               << outcome(write_whole(name, "hostile", O_TRUNC)) << ", replace: "
               << outcome(write_whole("replacement", "hostile", O_CREAT | O_TRUNC) &&
                          ::rename("replacement", name.c_str()) == 0)
               << ", remove: " << outcome(::unlink(name.c_str()) == 0) << "\n";
    }

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(std::atoi(t.port.c_str())));
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    report << "connect to 127.0.0.1: "
           << outcome(connect_to(reinterpret_cast<sockaddr*>(&local), sizeof local, AF_INET,
                                 "hostile"))
           << "\n";
    sockaddr_un speech{};
    speech.sun_family = AF_UNIX;
    std::strncpy(speech.sun_path, t.speech_socket.c_str(), sizeof speech.sun_path - 1);
    report << "speak: "
           << outcome(connect_to(reinterpret_cast<sockaddr*>(&speech), sizeof speech, AF_UNIX,
                                 "SET SELF CLIENT_NAME x:hostile:main\r\nSPEAK\r\n"
                                 "Hostile words.\r\n.\r\n",
                                 "225 OK MESSAGE QUEUED"))
           << "\n";
    report << "signal " << t.victim << ": "
           << outcome(::kill(std::atoi(t.victim.c_str()), SIGKILL) == 0) << "\n";

    const std::string command = "echo started > " + outside_file + "-by-a-program";
    const char* shell[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    pid_t child;
    int spawned = ::posix_spawn(&child, shell[0], nullptr, nullptr, const_cast<char**>(shell),
                                environ);
    errno = spawned;
    report << "start a program: " << outcome(spawned == 0) << "\n";
    pid_t forked = ::fork();
    if (forked == 0)
        ::execve(shell[0], const_cast<char**>(shell), environ), std::_Exit(1);
    report << "fork: " << outcome(forked > 0) << "\n";

    // Far past any cap: eight gibibytes, the first and last page touched.
    const size_t far = size_t{8} << 30;
    auto* hoard = static_cast<char*>(std::malloc(far));
    if (hoard)
        hoard[0] = hoard[far - 1] = 1;
    report << "allocate 8 GiB: " << outcome(hoard != nullptr) << "\n";
    std::free(hoard);

    // What it may do: its own story read, a file written in the save folder.
    std::string words = read_whole(story);
    auto at = words.find("Its own words:");
    report << (at == std::string::npos ? "its story unread" : words.substr(at, words.find('\n', at) - at))
           << "\n";
    report << "save in the save folder: "
           << outcome(write_whole("hostile.sav", "a save", O_CREAT | O_TRUNC)) << "\n";
    out(report.str() + "The hostile stand-in has tried everything.\n");
    // Last, a program in its place: if this worked, the game would end.
    ::execve(shell[0], const_cast<char**>(shell), environ);
    out("exec: " + outcome(false) + "\n");
}

void grow_past_the_cap() {
    // A byte a gibibyte in: past the cap on file size, yet no disk used.
    int fd = ::open("grown.dat", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0 && ::pwrite(fd, "x", 1, off_t{1} << 30) == 1)
        ::close(fd);
}

} // namespace tw::test
