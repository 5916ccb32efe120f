// A stand-in for dfrotz, for the faults a real interpreter will not make on
// demand. Run as `fake_interpreter MODE [ARG] [what dfrotz is given...]`: a
// script standing in for dfrotz passes its own arguments on after the mode,
// and -v among them asks for the version. Writes go straight to the
// descriptors, unbuffered, in the pieces named (in binary on Windows too:
// frotz/binary_streams.c is linked in, as into our dfrotz).
//   echo        "\n>", then answers each line with "You said: <line>.\n\n>"
//   version V   answers -v as dfrotz V does, and otherwise acts as echo
//   pause FILE  as our dfrotz draws rows: a prompt, then for each line
//               "You said: <line>." and a prompt, except "read", whose
//               answer comes in two parts, the second once FILE exists
//   env         "cwd:<dir>", "arg:<a>" for each argument after the mode and
//               "env:<NAME=value>" for each variable, a line each
//   crash       "The troll swings his ax" with no line end, then dies killed
//   stderr N    N pattern bytes (pattern.h) on stderr, exit 3
//   flood N     N pattern bytes on stdout, then acts as echo
//   hang        starts a copy of itself (same pipes, same group), prints
//               "ready\n", and both sleep without reading
//   sleep       sleeps without reading
//   exit N      exits with status N
//   job         (Windows) whether it is in a job, whether it can start
//               another process, whether it is given 8 GiB, and whether it
//               runs at low integrity, a line each
//   hostile SECRET OUTSIDE PORT SPEECH VICTIM
//               tries what an interpreter taken over by its story would
//               (hostile.cpp; Linux), then acts as echo, but "grow" writes
//               past the cap on file size
// Started as dfrotz is (its first argument an option), it reads its mode and
// arguments from the end of its own file, where a test that copied it wrote
// them, one a line between two lines of fake_mode_mark: a confined
// interpreter can start no script to pass them on.
#include "pattern.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
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
#include "hostile.h"

#include <csignal>
#include <unistd.h>
extern char** environ;
#endif

namespace {

const std::string fake_mode_mark = "\n--fake_interpreter mode--\n";

// The mode and its arguments at the end of `program`, the lines between the
// last two marks.
std::vector<std::string> mode_written_in(const char* program) {
    std::ifstream in(program, std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    std::vector<std::string> lines;
    auto end = bytes.rfind(fake_mode_mark);
    auto start = end == std::string::npos ? end : bytes.rfind(fake_mode_mark, end - 1);
    if (start == std::string::npos)
        return lines;
    std::istringstream between(bytes.substr(start + fake_mode_mark.size(),
                                            end - start - fake_mode_mark.size()));
    for (std::string line; std::getline(between, line);)
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

void echo() {
    out("\n>");
    for (std::string line; std::getline(std::cin, line);)
        out("You said: " + line + ".\n\n>");
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

[[noreturn]] void sleep_for_ever() {
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
}

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
    for (int i = 2; i < argc; ++i)
        if (args[i] == "-v") {
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
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi;
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring command = L"\"" + std::wstring(self) + L"\" sleep";
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                       &pi);
#else
        if (fork() == 0)
            sleep_for_ever();
#endif
        out("ready\n");
        sleep_for_ever();
    } else if (mode == "sleep") {
        sleep_for_ever();
    } else if (mode == "exit") {
        return std::atoi(arg.c_str());
#ifdef _WIN32
    } else if (mode == "job") {
        BOOL in_job = FALSE;
        IsProcessInJob(GetCurrentProcess(), nullptr, &in_job);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi;
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring command = L"\"" + std::wstring(self) + L"\" exit 0";
        BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                                      nullptr, nullptr, &si, &pi);
        void* hoard = VirtualAlloc(nullptr, SIZE_T{8} << 30, MEM_COMMIT | MEM_RESERVE,
                                   PAGE_READWRITE);
        HANDLE token;
        DWORD level = 0, size = 0;
        char label[64];
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
            GetTokenInformation(token, TokenIntegrityLevel, label, sizeof label, &size)) {
            PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(label)->Label.Sid;
            level = *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1);
        }
        out(std::string("in a job: ") + (in_job ? "yes" : "no") +
            "\nanother process: " + (started ? "started" : "refused") +
            "\n8 GiB: " + (hoard ? "given" : "refused") +
            "\nintegrity: " + (level < SECURITY_MANDATORY_MEDIUM_RID ? "low" : "not low") + "\n");
#else
    } else if (mode == "hostile" && argc > 7) {
        tw::test::hostile({args[2], args[3], args[4], args[5], args[6]}, args.back(),
                          [](const std::string& s) { out(s); });
        out("\n>");
        for (std::string line; std::getline(std::cin, line);) {
            if (line == "grow")
                tw::test::grow_past_the_cap();
            out("You said: " + line + ".\n\n>");
        }
#endif
    }
    return 0;
}
