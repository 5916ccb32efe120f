// A stand-in for dfrotz, for the faults a real interpreter will not make on
// demand: `fake_interpreter MODE [ARG] [what dfrotz is given...]`, -v among
// them asking for the version. It writes straight to the descriptors, in the
// pieces named (in binary on Windows too: frotz/binary_streams.c is linked in).
//   echo        "\n>", then answers each line with "You said: <line>.\n\n>"
//   version V   answers -v as dfrotz V does, else echo
//   pause FILE  rows as our dfrotz draws them: a prompt, then for each line
//               "You said: <line>." and a prompt; "read" is answered in two
//               parts, the second once FILE exists
//   env         "cwd:<dir>", "arg:<a>" for each argument after the mode and
//               "env:<NAME=value>" for each variable, a line each
//   crash       "The troll swings his ax" with no line end, then dies killed
//   stderr N    N pattern bytes (pattern.h) on stderr, exit 3
//   flood N     N pattern bytes on stdout, then echo
//   hang        starts a copy of itself (same pipes, same group), prints
//               "ready\n"; neither reads
//   sleep       sleeps without reading
//   job         (Windows) whether it is in a job, can start another process,
//               is given 8 GiB, may write beside its program, a line each
//   hostile SECRET OUTSIDE PORT SPEECH VICTIM
//               (Linux) tries what an interpreter taken over by its story
//               would, then echo, but "grow" writes past the cap on file size
// Started as dfrotz is (its first argument an option), it reads its mode from
// the end of its own file, where a test that copied it wrote it after
// fake_mode_mark: a confined interpreter runs no script that would pass it on.
#include "pattern.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <io.h>
#include <shellapi.h>
#define write _write
#else
#include <cerrno>
#include <csignal>

#include <arpa/inet.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/un.h>
#include <unistd.h>
extern char** environ;
#endif

namespace {

const std::string fake_mode_mark = "\n--fake_interpreter mode--\n";

// The mode and its arguments written at the end of `program`, after the
// last mark, a line each.
std::vector<std::string> mode_written_in(const char* program) {
    std::ifstream in(program, std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    std::istringstream written(bytes.substr(bytes.rfind(fake_mode_mark) + fake_mode_mark.size()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(written, line);)
        lines.push_back(line);
    return lines;
}

void out(const std::string& s, int fd = 1) {
    for (size_t done = 0; done < s.size();) {
        auto n = write(fd, s.data() + done, static_cast<unsigned>(s.size() - done));
        if (n <= 0)
            std::exit(1);
        done += static_cast<size_t>(n);
    }
}

// "grow" (hostile): a byte a gibibyte in, past the cap on file size, no disk used.
void echo(bool grows = false) {
    out("\n>");
    for (std::string line; std::getline(std::cin, line);) {
#ifndef _WIN32
        if (grows && line == "grow" &&
            ::pwrite(::open("grown.dat", O_WRONLY | O_CREAT, 0644), "x", 1, off_t{1} << 30) != 1)
            out("grow: refused\n");
#endif
        out("You said: " + line + ".\n\n>");
    }
}

// Rows as our dfrotz writes them, numbered from 1: text ("  " and a line)
// or a prompt ("> >").
void pause(const std::string& gate) {
    int row = 0;
    auto next_row = [&row](const std::string& rest) {
        char number[8];
        std::snprintf(number, sizeof number, "%02d", ++row % 100);
        out(number + rest);
    };
    next_row("> >");
    for (std::string line; std::getline(std::cin, line); next_row("> >")) {
        if (line != "read") {
            next_row("  You said: " + line + ".\n");
            continue;
        }
        next_row("  The first part of the reply.\n");
        while (!std::filesystem::exists(gate))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        next_row("  The second part of the reply.\n");
    }
}

#ifdef _WIN32
// Starts a copy of itself in `mode` on the same standard streams; false
// when it may not.
bool start_copy(const std::wstring& mode) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" " + mode;
    return CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &si, &pi);
}
#endif

[[noreturn]] void sleep_for_ever() {
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
}

#ifndef _WIN32
// The hostile mode: what an interpreter taken over by its story would try,
// from the save folder, each outcome reported; the black-box test judges
// the effects, never these reports.

std::string outcome(bool done) {
    return done ? "done\n" : std::string("refused (") + std::strerror(errno) + ")\n";
}

std::string read_whole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : outcome(false);
}

bool write_whole(const std::string& path, int flags) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | flags, 0644);
    return fd >= 0 && ::write(fd, "hostile", 7) == 7 && ::close(fd) == 0;
}

// Connects and says `say`; then waits (5 s at most) for a reply holding
// `until`, when one is named.
template <class address>
bool connect_to(address where, const std::string& say, const char* until = "") {
    auto* to = reinterpret_cast<sockaddr*>(&where);
    int s = ::socket(to->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return false;
    timeval bound{5, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    bool sent = ::connect(s, to, sizeof where) == 0 &&
                ::send(s, say.data(), say.size(), MSG_NOSIGNAL) > 0;
    std::string heard;
    char reply[512];
    for (ssize_t n; sent && heard.find(until) == std::string::npos &&
                    (n = ::recv(s, reply, sizeof reply, 0)) > 0;)
        heard.append(reply, static_cast<size_t>(n));
    ::close(s);
    return sent;
}

// SECRET: a file in the test's home; OUTSIDE: a folder outside the save
// folder; a listener's PORT on 127.0.0.1; the test's speech-dispatcher's
// SPEECH socket; the VICTIM, another process's id.
void hostile(const std::string& secret, const std::string& outside, const std::string& port,
             const std::string& speech, const std::string& victim, const std::string& story) {
    std::string said = "read the secret: " + read_whole(secret) + "list the home: ";
    std::error_code error;
    for (const auto& e :
         std::filesystem::directory_iterator(std::filesystem::path(secret).parent_path(), error))
        said += e.path().filename().string() + " ";
    said += error.message() + "\nwrite outside: " +
            outcome(write_whole(outside + "/hostile-wrote-here", O_CREAT));
    for (const auto& e : std::filesystem::directory_iterator("."))
        if (auto name = e.path().string(); e.path().extension() == ".z5")
            said += "overwrite " + name + ": " + outcome(write_whole(name, O_TRUNC)) +
                    "replace it: " +
                    outcome(write_whole("new", O_CREAT) && ::rename("new", name.c_str()) == 0) +
                    "remove it: " + outcome(::unlink(name.c_str()) == 0);

    sockaddr_in local{AF_INET, htons(static_cast<uint16_t>(std::stoi(port))),
                      {htonl(INADDR_LOOPBACK)}, {}};
    said += "connect to 127.0.0.1: " + outcome(connect_to(local, "hostile"));
    sockaddr_un service{AF_UNIX, {}};
    speech.copy(service.sun_path, sizeof service.sun_path - 1);
    said += "speak: " + outcome(connect_to(service,
                                           "SET SELF CLIENT_NAME x:hostile:main\r\nSPEAK\r\n"
                                           "Hostile words.\r\n.\r\n",
                                           "225 OK MESSAGE QUEUED"));
    said += "signal: " + outcome(::kill(std::stoi(victim), SIGKILL) == 0);
    const std::string command = "echo started > " + outside + "/hostile-started-this";
    const char* shell[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    pid_t child;
    errno = ::posix_spawn(&child, shell[0], nullptr, nullptr, const_cast<char**>(shell), environ);
    said += "start a program: " + outcome(errno == 0);
    // Far past any cap: its first and last page touched.
    auto* hoard = new (std::nothrow) char[size_t{8} << 30];
    if (hoard)
        hoard[0] = hoard[(size_t{8} << 30) - 1] = 1;
    said += "allocate 8 GiB: " + outcome(hoard != nullptr);
    delete[] hoard;

    // What it may do: read its own story, write in the save folder.
    auto words = read_whole(story);
    out(said + words.substr(words.find("Its own words")) + "save in the save folder: " +
        outcome(write_whole("hostile.sav", O_CREAT)) +
        "The hostile stand-in has tried everything.\n");
    // Last, a program in its place: were it let, the game would end.
    ::execve(shell[0], const_cast<char**>(shell), environ);
    out("exec: " + outcome(false));
}
#endif

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    std::vector<std::string> args(argv, argv + argc);
    if (args[1][0] == '-') {
        auto written = mode_written_in(argv[0]);
        args.insert(args.begin() + 1, written.begin(), written.end());
        argc = static_cast<int>(args.size());
    }
    std::string mode = args[1], arg = argc > 2 ? args[2] : "0";
    if (std::find(args.begin() + 2, args.end(), "-v") != args.end()) {
        if (mode == "version")
            out("FROTZ V" + arg + "     Dumb interface.\n");
        return 0;
    }
    if (mode == "echo" || mode == "version") {
        echo();
    } else if (mode == "pause") {
        pause(arg);
    } else if (mode == "env") {
        out("cwd:" + std::filesystem::current_path().string() + "\n");
#ifdef _WIN32
        // In UTF-8, as on Linux: argv holds the ANSI code page's version.
        auto utf8 = [](const wchar_t* w) {
            auto u = std::filesystem::path(w).u8string();
            return std::string(u.begin(), u.end());
        };
        wchar_t** wide_args = CommandLineToArgvW(GetCommandLineW(), &argc);
        for (int i = 2; i < argc; ++i)
            out("arg:" + utf8(wide_args[i]) + "\n");
        wchar_t* block = GetEnvironmentStringsW();
        for (wchar_t* e = block; *e; e += wcslen(e) + 1)
            out("env:" + utf8(e) + "\n");
        FreeEnvironmentStringsW(block);
#else
        for (int i = 2; i < argc; ++i)
            out("arg:" + args[i] + "\n");
        for (char** e = environ; *e; ++e)
            out(std::string("env:") + *e + "\n");
#endif
    } else if (mode == "crash") {
        out("The troll swings his ax");
#ifdef _WIN32
        TerminateProcess(GetCurrentProcess(), 128 + 9);
#else
        std::raise(SIGKILL);
#endif
    } else if (mode == "stderr") {
        out(tw::test::pattern_bytes(std::stoul(arg)), 2);
        return 3;
    } else if (mode == "flood") {
        out(tw::test::pattern_bytes(std::stoul(arg)));
        echo();
    } else if (mode == "hang") {
#ifdef _WIN32
        start_copy(L"sleep");
#else
        if (fork() == 0)
            sleep_for_ever();
#endif
        out("ready\n");
        sleep_for_ever();
    } else if (mode == "sleep") {
        sleep_for_ever();
#ifdef _WIN32
    } else if (mode == "job") {
        BOOL in_job = FALSE;
        IsProcessInJob(GetCurrentProcess(), nullptr, &in_job);
        bool started = start_copy(L"exit 0");
        void* hoard = VirtualAlloc(nullptr, SIZE_T{8} << 30, MEM_COMMIT | MEM_RESERVE,
                                   PAGE_READWRITE);
        // Low integrity: not let write in the program's folder.
        HANDLE written = CreateFileA((args[0] + ".written").c_str(), GENERIC_WRITE, 0, nullptr,
                                     CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        out(std::string("in a job: ") + (in_job ? "yes" : "no") +
            "\nanother process: " + (started ? "started" : "refused") +
            "\n8 GiB: " + (hoard ? "given" : "refused") +
            "\nwrite beside its program: " + (written != INVALID_HANDLE_VALUE ? "done" : "refused") +
            "\n");
#else
    } else if (mode == "hostile" && argc > 7) {
        hostile(args[2], args[3], args[4], args[5], args[6], args.back());
        echo(true);
#endif
    }
    return 0;
}
