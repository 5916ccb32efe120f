// The interpreter as a child process on Windows: CreateProcessW inside a job
// object, so that ending the game ends everything it started; its streams
// on overlapped named pipes; and one wait loop, run by the reader thread,
// that serves stdout, stderr, stdin and the exit.
#include "core/interpreter/process.h"

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
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

// A handle that closes itself.
struct handle {
    HANDLE h = nullptr;
    handle() = default;
    explicit handle(HANDLE h) : h(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    handle(handle&& o) noexcept : h(std::exchange(o.h, nullptr)) {}
    handle& operator=(handle&& o) noexcept {
        std::swap(h, o.h);
        return *this;
    }
    ~handle() {
        if (h)
            CloseHandle(h);
    }
};

std::wstring widen(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

std::string describe(DWORD err) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, err, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring w = text ? text : L"error " + std::to_wstring(err);
    LocalFree(text);
    while (!w.empty() && (w.back() == L'\n' || w.back() == L'\r' || w.back() == L'.'))
        w.pop_back();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
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

// A named pipe: ours overlapped, the child's end inheritable.
bool make_pipe(bool child_reads, handle& ours, handle& theirs) {
    static std::atomic<unsigned> count{0};
    std::wstring name = L"\\\\.\\pipe\\tallowick-" + std::to_wstring(GetCurrentProcessId()) +
                        L"-" + std::to_wstring(count++);
    ours = handle(CreateNamedPipeW(
        name.c_str(),
        (child_reads ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND) | FILE_FLAG_OVERLAPPED |
            FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, chunk_size, chunk_size, 0,
        nullptr));
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    theirs = handle(CreateFileW(name.c_str(), child_reads ? GENERIC_READ : GENERIC_WRITE, 0,
                                &inherit, OPEN_EXISTING, 0, nullptr));
    return ours.h && theirs.h;
}

// One overlapped operation on a pipe, with its event and buffer.
struct pipe_io {
    handle pipe;
    handle event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED ov{};
    std::string buffer;
    bool pending = false;
    bool open = true;

    // Waits for what is under way to be done or cancelled, so the buffer
    // and OVERLAPPED may go.
    void cancel() {
        DWORD n;
        if (pending && CancelIoEx(pipe.h, &ov))
            GetOverlappedResult(pipe.h, &ov, &n, TRUE);
        pending = false;
    }
    void start_read() {
        if (pending || !open)
            return;
        buffer.resize(chunk_size);
        ov = {};
        ov.hEvent = event.h;
        if (ReadFile(pipe.h, buffer.data(), chunk_size, nullptr, &ov) ||
            GetLastError() == ERROR_IO_PENDING)
            pending = true;
        else
            open = false;
    }
    // The bytes read, once done; false when the pipe has closed.
    bool finish_read(bool wait) {
        DWORD n = 0;
        BOOL ok = GetOverlappedResult(pipe.h, &ov, &n, wait);
        if (!ok && GetLastError() == ERROR_IO_INCOMPLETE)
            return true;
        pending = false;
        buffer.resize(ok ? n : 0);
        open = ok;
        return ok;
    }
};

class win32_child final : public child_process {
  public:
    win32_child(handle job, handle process, handle in, handle out, handle err)
        : job(std::move(job)), process(std::move(process)) {
        io[0].pipe = std::move(out);
        io[1].pipe = std::move(err);
        writer.pipe = std::move(in);
    }

    ~win32_child() override {
        kill();
        for (auto* p : {&io[0], &io[1], &writer})
            p->cancel();
    }

    bool read_output(output_chunk& chunk, int timeout_ms) override;

    bool write(std::string_view bytes) override {
        {
            std::lock_guard lock(mutex);
            if (stdin_closed)
                return false;
            queued.append(bytes);
        }
        SetEvent(wake.h);
        return true;
    }

    std::optional<int> poll() override {
        std::lock_guard lock(mutex);
        return status;
    }

    bool wait_for_exit(std::chrono::milliseconds timeout) override {
        std::unique_lock lock(mutex);
        return exited.wait_for(lock, timeout, [this] { return status.has_value(); });
    }

    void terminate() override { TerminateJobObject(job.h, terminated); }
    void kill() override { TerminateJobObject(job.h, killed); }
    long pid() const override { return static_cast<long>(GetProcessId(process.h)); }

  private:
    void note_exit() {
        DWORD code = 0;
        GetExitCodeProcess(process.h, &code);
        std::lock_guard lock(mutex);
        status = static_cast<int>(code);
        stdin_closed = true;
        queued.clear();
        exited.notify_all();
    }

    // Starts writing what is queued, unless a write is under way.
    void serve_stdin() {
        if (writer.pending && !writer.finish_read(false))
            writer.open = false;
        if (writer.pending || !writer.open)
            return;
        {
            std::lock_guard lock(mutex);
            writer.buffer.swap(queued);
            queued.clear();
        }
        if (writer.buffer.empty())
            return;
        writer.ov = {};
        writer.ov.hEvent = writer.event.h;
        if (WriteFile(writer.pipe.h, writer.buffer.data(), static_cast<DWORD>(writer.buffer.size()),
                      nullptr, &writer.ov) ||
            GetLastError() == ERROR_IO_PENDING) {
            writer.pending = true;
            return;
        }
        writer.open = false; // the child closed its stdin
        std::lock_guard lock(mutex);
        stdin_closed = true;
    }

    bool take(pipe_io& p, bool is_err, output_chunk& chunk) {
        chunk.bytes.swap(p.buffer);
        chunk.is_stderr = is_err;
        return !chunk.bytes.empty();
    }

    handle job, process;
    handle wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)}; // set by write()
    pipe_io io[2]; // stdout, stderr
    pipe_io writer;

    std::mutex mutex;
    std::condition_variable exited;
    std::optional<int> status;
    bool stdin_closed = false;
    std::string queued;

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
            int k = io[0].open ? 0 : io[1].open ? 1 : -1;
            if (k < 0)
                return false;
            pipe_io& p = io[k];
            p.start_read();
            if (drain_left > 0 && p.pending && WaitForSingleObject(p.event.h, 0) == WAIT_OBJECT_0 &&
                p.finish_read(false) && take(p, k == 1, chunk)) {
                --drain_left;
                return true;
            }
            p.cancel();
            p.open = false;
            drain_left = drain_chunks;
            continue;
        }
        serve_stdin();
        for (auto& p : io)
            p.start_read();
        HANDLE waits[5];
        int which[5];
        DWORD n = 0;
        auto add = [&](HANDLE h, int what) {
            waits[n] = h;
            which[n++] = what;
        };
        add(process.h, 0);
        add(wake.h, 1);
        if (writer.pending)
            add(writer.event.h, 2);
        for (int k = 0; k < 2; ++k) {
            // Take turns when both have something, so neither starves.
            int s = prefer_err ? 1 - k : k;
            if (io[s].pending)
                add(io[s].event.h, 3 + s);
        }
        DWORD wait = INFINITE;
        if (timeout_ms >= 0) {
            ULONGLONG now = GetTickCount64();
            wait = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        }
        DWORD got = WaitForMultipleObjects(n, waits, FALSE, wait);
        if (got == WAIT_TIMEOUT) {
            chunk.bytes.clear();
            chunk.is_stderr = false;
            return true;
        }
        if (got >= WAIT_OBJECT_0 + n)
            return false;
        switch (int what = which[got - WAIT_OBJECT_0]) {
        case 0:
            note_exit();
            draining = true;
            break;
        case 1:
        case 2:
            break; // serve_stdin() takes it from here
        default:
            pipe_io& p = io[what - 3];
            if (p.finish_read(false) && !p.pending && take(p, what == 4, chunk)) {
                prefer_err = what == 3;
                return true;
            }
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
    std::wstring cwd = widen(opts.cwd);
    DWORD attributes = cwd.empty() ? 0 : GetFileAttributesW(cwd.c_str());
    if (!cwd.empty() &&
        (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)))
        return failed(ERROR_PATH_NOT_FOUND, " in the folder " + opts.cwd);

    std::wstring command_line, environment;
    for (const auto& a : opts.argv)
        command_line += (command_line.empty() ? L"" : L" ") + quote(widen(a));
    for (const auto& e : opts.env)
        environment += widen(e) + L'\0';
    environment += L'\0';

    handle in_ours, in_theirs, out_ours, out_theirs, err_ours, err_theirs;
    if (!make_pipe(true, in_ours, in_theirs) || !make_pipe(false, out_ours, out_theirs) ||
        !make_pipe(false, err_ours, err_theirs))
        return failed(GetLastError());

    // Only the three pipe ends are inherited, whatever else this program
    // has left inheritable.
    HANDLE inherited[] = {in_theirs.h, out_theirs.h, err_theirs.h};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::string attribute_memory(size, '\0');
    auto* attributes_list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attribute_memory.data());
    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof si;
    si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    si.StartupInfo.hStdInput = in_theirs.h;
    si.StartupInfo.hStdOutput = out_theirs.h;
    si.StartupInfo.hStdError = err_theirs.h;
    DWORD flags = CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED;
    if (InitializeProcThreadAttributeList(attributes_list, 1, 0, &size) &&
        UpdateProcThreadAttribute(attributes_list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                  inherited, sizeof inherited, nullptr, nullptr)) {
        si.lpAttributeList = attributes_list;
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    PROCESS_INFORMATION pi{};
    std::wstring program = widen(opts.argv[0]);
    BOOL created = CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                                  flags, environment.data(), cwd.empty() ? nullptr : cwd.c_str(),
                                  &si.StartupInfo, &pi);
    DWORD err = GetLastError();
    if (si.lpAttributeList)
        DeleteProcThreadAttributeList(attributes_list);
    if (!created)
        return failed(err);
    handle process(pi.hProcess), thread(pi.hThread);
    // Ending the job ends the interpreter and all it started, also when
    // this program ends without a word.
    handle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job.h ||
        !SetInformationJobObject(job.h, JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits) ||
        !AssignProcessToJobObject(job.h, process.h)) {
        err = GetLastError();
        TerminateProcess(process.h, killed);
        return failed(err);
    }
    ResumeThread(thread.h);
    return std::make_unique<win32_child>(std::move(job), std::move(process), std::move(in_ours),
                                         std::move(out_ours), std::move(err_ours));
}

} // namespace tw
