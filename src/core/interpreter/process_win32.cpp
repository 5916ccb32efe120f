// The interpreter as a child process on Windows: started (at low integrity
// when confined) inside a job object, so that ending the game ends
// everything it started; its streams on overlapped named pipes; and one
// wait loop, run by the reader thread, that serves stdout, stderr, stdin
// and the exit.
#include "core/interpreter/process.h"

#include "core/interpreter/child_state.h"
#include "core/text/utf8.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <utility>

namespace tw {
namespace {

constexpr DWORD chunk_size = 64 * 1024;
// At most this many chunks of stdout, then of stderr, are read once the
// child has gone, so that a process it left behind cannot keep the reader.
constexpr int drain_chunks = 16;
// What the exit status says of a child ended by terminate() or kill(), as
// SIGTERM and SIGKILL would on Linux.
constexpr UINT terminated = 128 + 15, killed = 128 + 9;

// A handle that closes itself; an invalid one is held as none.
using handle = std::unique_ptr<void, decltype([](HANDLE h) { CloseHandle(h); })>;
handle own(HANDLE h) {
    return handle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

std::wstring wide(const std::string& utf8) {
    return path_from_utf8(utf8).native();
}

// The system's sentence for `err`, in the player's language, as UTF-8.
std::string describe(DWORD err) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, err, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string s = text ? utf8_of(text) : "error " + std::to_string(err);
    LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.'))
        s.pop_back();
    return s;
}

// One argument quoted by the rules the C runtime reads a command line with:
// spaces and quotes in a story's path stay one argument.
std::wstring quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring q = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        q.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        q += c;
    }
    q.append(2 * backslashes, L'\\');
    return q + L'"';
}

// Lets a program at low integrity make and write files in `folder`, and in
// what is already there: one entry in its access list, a mandatory label
// that files made there inherit. Once is enough: it stays.
bool open_to_low_integrity(const std::wstring& folder) {
    PSECURITY_DESCRIPTOR wanted = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"S:(ML;OICI;NW;;;LW)",
                                                              SDDL_REVISION_1, &wanted, nullptr))
        return false;
    PACL label = nullptr, present_label = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    PSECURITY_DESCRIPTOR present_descriptor = nullptr;
    bool done = GetSecurityDescriptorSacl(wanted, &present, &label, &defaulted) && label;
    if (done && GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, LABEL_SECURITY_INFORMATION,
                                      nullptr, nullptr, nullptr, &present_label,
                                      &present_descriptor) == ERROR_SUCCESS) {
        bool labelled = present_label && present_label->AceCount == 1 &&
                        present_label->AclSize == label->AclSize &&
                        std::memcmp(present_label, label, label->AclSize) == 0;
        LocalFree(present_descriptor);
        if (labelled) {
            LocalFree(wanted);
            return true;
        }
    }
    done = done && SetNamedSecurityInfoW(const_cast<wchar_t*>(folder.c_str()), SE_FILE_OBJECT,
                                         LABEL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                         label) == ERROR_SUCCESS;
    LocalFree(wanted);
    return done;
}

// A copy of this program's token at low integrity: a program run with it
// may write only where low integrity is let in. None when it cannot be had.
handle low_integrity_token() {
    HANDLE ours = nullptr, copy = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(),
                          TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ADJUST_DEFAULT |
                              TOKEN_ASSIGN_PRIMARY,
                          &ours))
        return {};
    handle own_token(ours);
    if (!DuplicateTokenEx(ours, 0, nullptr, SecurityImpersonation, TokenPrimary, &copy))
        return {};
    handle low(copy);
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(L"S-1-16-4096", &sid))
        return {};
    TOKEN_MANDATORY_LABEL level{{sid, SE_GROUP_INTEGRITY}};
    bool lowered = SetTokenInformation(low.get(), TokenIntegrityLevel, &level,
                                       sizeof level + GetLengthSid(sid));
    LocalFree(sid);
    return lowered ? std::move(low) : handle{};
}

// A named pipe (anonymous ones cannot be overlapped): ours overlapped, the
// child's end inheritable.
bool make_pipe(bool child_reads, handle& ours, handle& theirs) {
    static std::atomic<unsigned> count{0};
    std::wstring name = L"\\\\.\\pipe\\tallowick-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(count++);
    ours = own(CreateNamedPipeW(name.c_str(),
                                (child_reads ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND) |
                                    FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                chunk_size, chunk_size, 0, nullptr));
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    theirs = own(CreateFileW(name.c_str(), child_reads ? GENERIC_READ : GENERIC_WRITE, 0, &inherit,
                             OPEN_EXISTING, 0, nullptr));
    return ours && theirs;
}

// Our end of one pipe, with its one overlapped read or write at a time.
struct pipe_io {
    handle pipe;
    handle event = own(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov{};
    std::string buffer; // what is read into, or written from
    bool pending = false, open = true;

    void start(bool reading) {
        if (reading)
            buffer.resize(chunk_size);
        ov = {};
        ov.hEvent = event.get();
        auto size = static_cast<DWORD>(buffer.size());
        BOOL ok = reading ? ReadFile(pipe.get(), buffer.data(), size, nullptr, &ov)
                          : WriteFile(pipe.get(), buffer.data(), size, nullptr, &ov);
        open = pending = ok || GetLastError() == ERROR_IO_PENDING;
    }
    // Whether what was under way has finished; `buffer` then holds the bytes
    // done, and a pipe that failed (the other end closed) is closed.
    bool done() {
        DWORD n = 0;
        if (!pending)
            return false;
        if (!GetOverlappedResult(pipe.get(), &ov, &n, FALSE)) {
            if (GetLastError() == ERROR_IO_INCOMPLETE)
                return false;
            open = false;
        }
        pending = false;
        buffer.resize(n);
        return true;
    }
    // Waits for what is under way to be done or cancelled, so the buffer
    // and OVERLAPPED may go.
    void cancel() {
        DWORD n;
        if (pending && CancelIoEx(pipe.get(), &ov))
            GetOverlappedResult(pipe.get(), &ov, &n, TRUE);
        pending = false;
    }
};

class win32_child final : public child_process {
  public:
    win32_child(handle job, handle process, handle (&pipes)[3])
        : job(std::move(job)), process(std::move(process)) {
        for (int k : {0, 1, 2})
            io[k].pipe = std::move(pipes[k]);
    }
    ~win32_child() override {
        kill();
        for (auto& p : io)
            p.cancel();
    }

    bool read_output(output_chunk& chunk, int timeout_ms) override;
    bool write(std::string_view bytes) override {
        if (!state.queue(bytes))
            return false;
        SetEvent(wake.get());
        return true;
    }
    std::optional<int> poll() override { return state.exit_status(); }
    bool wait_for_exit(std::chrono::milliseconds timeout) override {
        return state.wait_for_exit(timeout);
    }
    // A job that has emptied ignores both.
    void terminate() override { TerminateJobObject(job.get(), terminated); }
    void kill() override { TerminateJobObject(job.get(), killed); }

  private:
    // Starts writing what is queued, unless a write is under way.
    void serve_stdin() {
        pipe_io& in = io[0];
        if (in.pending && !in.done())
            return;
        if (in.open && !(in.buffer = state.take()).empty())
            in.start(false);
        if (!in.open) // the child closed its stdin
            state.close_input();
    }
    bool take(int k, output_chunk& chunk) {
        chunk.bytes.swap(io[k].buffer);
        chunk.is_stderr = k == 2;
        return !chunk.bytes.empty();
    }

    handle job, process;
    handle wake = own(CreateEventW(nullptr, FALSE, FALSE, nullptr)); // set by write()
    pipe_io io[3];                                                   // stdin, stdout, stderr
    child_state state;

    // The loop's own, on the reader thread.
    bool draining = false, prefer_err = false;
    int drain_left = drain_chunks;
};

bool win32_child::read_output(output_chunk& chunk, int timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
    for (;;) {
        if (draining) {
            // The child has gone: take what stdout, then stderr, hold now
            // without waiting for more.
            int k = io[1].open ? 1 : io[2].open ? 2 : 0;
            if (k == 0)
                return false;
            pipe_io& p = io[k];
            if (!p.pending)
                p.start(true);
            if (drain_left > 0 && WaitForSingleObject(p.event.get(), 0) == WAIT_OBJECT_0 &&
                p.done() && take(k, chunk)) {
                --drain_left;
                return true;
            }
            p.cancel();
            p.open = false;
            drain_left = drain_chunks; // a fresh allowance for stderr
            continue;
        }
        serve_stdin();
        // The exit first, so that a process left behind that writes without
        // end cannot keep the drain from starting; then stdin; then the two
        // outputs, taking turns when both have something.
        HANDLE waits[5] = {process.get(), wake.get()};
        int what[5] = {-1, 0};
        DWORD n = 2;
        for (int k : {0, prefer_err ? 2 : 1, prefer_err ? 1 : 2}) {
            if (k > 0 && io[k].open && !io[k].pending)
                io[k].start(true);
            if (io[k].pending) {
                waits[n] = io[k].event.get();
                what[n++] = k;
            }
        }
        ULONGLONG left = deadline - std::min(deadline, GetTickCount64());
        DWORD got = WaitForMultipleObjects(n, waits, FALSE,
                                           timeout_ms < 0 ? INFINITE : static_cast<DWORD>(left));
        if (got == WAIT_TIMEOUT) {
            chunk = {};
            return true;
        }
        if (got >= WAIT_OBJECT_0 + n)
            return false;
        int k = what[got - WAIT_OBJECT_0];
        if (k < 0) {
            DWORD code = 0;
            GetExitCodeProcess(process.get(), &code);
            state.exited(static_cast<int>(code));
            draining = true;
        } else if (k > 0 && io[k].done() && take(k, chunk)) {
            prefer_err = k == 1;
            return true;
        }
    }
}

} // namespace

std::unique_ptr<child_process> child_process::start(const launch_options& opts,
                                                    std::string& error) {
    if (opts.argv.empty() || opts.argv[0].empty()) {
        error = "No game interpreter was given.";
        return nullptr;
    }
    auto failed = [&](DWORD err, const std::string& where = {}) {
        error = "The game interpreter " + opts.argv[0] + " could not be started" + where + ": " +
                describe(err) + ".";
        return nullptr;
    };
    std::wstring cwd = wide(opts.cwd);
    DWORD attributes = GetFileAttributesW(cwd.c_str());
    if (!cwd.empty() &&
        (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)))
        return failed(ERROR_PATH_NOT_FOUND, " in the folder " + opts.cwd);

    std::wstring command_line, environment;
    for (const auto& a : opts.argv)
        command_line += (command_line.empty() ? L"" : L" ") + quote(wide(a));
    for (const auto& e : opts.env)
        environment += wide(e) + L'\0';
    environment += L'\0';

    handle ours[3], theirs[3]; // stdin, stdout, stderr
    for (int k : {0, 1, 2})
        if (!make_pipe(k == 0, ours[k], theirs[k]))
            return failed(GetLastError());
    // Only the three pipe ends are inherited, whatever else this program
    // has left inheritable.
    HANDLE inherited[] = {theirs[0].get(), theirs[1].get(), theirs[2].get()};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::string list_memory(size, '\0');
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_memory.data());
    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof si;
    si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    si.StartupInfo.hStdInput = inherited[0];
    si.StartupInfo.hStdOutput = inherited[1];
    si.StartupInfo.hStdError = inherited[2];
    si.lpAttributeList = list;
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size))
        return failed(GetLastError());
    bool listed = UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                            sizeof inherited, nullptr, nullptr);
    // Confined, it writes only in the save folder: it runs at low integrity,
    // and the save folder lets that in. Where the folder's file system keeps
    // no labels (FAT on a stick), it runs as we do.
    handle token;
    if (opts.confined && !opts.confined->writable.empty() &&
        open_to_low_integrity(wide(opts.confined->writable)))
        token = low_integrity_token();
    // Suspended until it is in the job, so that all it starts is too.
    DWORD flags = CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED |
                  EXTENDED_STARTUPINFO_PRESENT;
    PROCESS_INFORMATION pi{};
    const std::wstring program = wide(opts.argv[0]);
    const wchar_t* folder = cwd.empty() ? nullptr : cwd.c_str();
    BOOL created =
        listed && (token ? CreateProcessAsUserW(token.get(), program.c_str(), command_line.data(),
                                                nullptr, nullptr, TRUE, flags, environment.data(),
                                                folder, &si.StartupInfo, &pi)
                         : CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr,
                                          TRUE, flags, environment.data(), folder,
                                          &si.StartupInfo, &pi));
    DWORD err = GetLastError();
    DeleteProcThreadAttributeList(list);
    if (!created)
        return failed(err);
    handle process(pi.hProcess), thread(pi.hThread);
    // Ending the job ends the interpreter and all it started, also when
    // this program ends without a word.
    handle job = own(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    JOBOBJECT_BASIC_UI_RESTRICTIONS ui{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (opts.confined) {
        // It alone in its job, its memory capped, no error dialog of the
        // system's in its place; none of the desktop's shared state.
        limits.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_ACTIVE_PROCESS |
                                                   JOB_OBJECT_LIMIT_PROCESS_MEMORY |
                                                   JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
        limits.BasicLimitInformation.ActiveProcessLimit = 1;
        limits.ProcessMemoryLimit = static_cast<SIZE_T>(opts.confined->memory_bytes);
        ui.UIRestrictionsClass = JOB_OBJECT_UILIMIT_DESKTOP | JOB_OBJECT_UILIMIT_DISPLAYSETTINGS |
                                 JOB_OBJECT_UILIMIT_EXITWINDOWS | JOB_OBJECT_UILIMIT_GLOBALATOMS |
                                 JOB_OBJECT_UILIMIT_HANDLES | JOB_OBJECT_UILIMIT_READCLIPBOARD |
                                 JOB_OBJECT_UILIMIT_SYSTEMPARAMETERS |
                                 JOB_OBJECT_UILIMIT_WRITECLIPBOARD;
    }
    if (!job ||
        !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits) ||
        (opts.confined &&
         !SetInformationJobObject(job.get(), JobObjectBasicUIRestrictions, &ui, sizeof ui)) ||
        !AssignProcessToJobObject(job.get(), process.get())) {
        err = GetLastError();
        TerminateProcess(process.get(), killed);
        return failed(err);
    }
    ResumeThread(thread.get());
    return std::make_unique<win32_child>(std::move(job), std::move(process), ours);
}

std::string confinement_report() {
    // A job holds each interpreter alone, its memory capped, and low
    // integrity keeps its writes to the save folder; Windows keeps an
    // ordinary user's program from reading their files or opening sockets
    // only in an AppContainer, which would need the story, the program and
    // the save folder granted to it, wherever the player keeps them.
    return "Interpreters confined: processes, memory, files written outside the save folder; "
           "not confined: files read, sockets.";
}

} // namespace tw
