// The platform layer on Windows: the C runtime (msvcrt) and a few kernel calls.
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <time.h>

#include <windows.h>

const char* platform_getenv(const char* name) { return std::getenv(name); }

void platform_setenv(const char* name, const char* value)
{
    // The runtime removes the variable for an empty value and also updates the process's own
    // environment block, which GetEnvironmentVariableA and child processes see. Nothing useful
    // can be done when it refuses (out of memory), so the result is not acted on.
    (void)_putenv_s(name, value ? value : "");
}

std::size_t platform_read_os_env(const char* name, char* out, std::size_t cap)
{
    DWORD length = GetEnvironmentVariableA(name, out, static_cast<DWORD>(cap));
    // Too small an area gives the size needed with its terminator, which is above cap.
    return length;
}

void platform_stdout_binary()
{
    // Without this the runtime would turn every "\n" into "\r\n". Failure leaves text mode,
    // which only a closed or invalid stdout causes, and then nothing can be written anyway.
    (void)_setmode(_fileno(stdout), _O_BINARY);
}

bool platform_write_stdout(std::string_view bytes)
{
    if (bytes.empty())
        return true;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
    return std::fflush(stdout) == 0 && ok;
}

std::size_t platform_read_stdin(char* out, std::size_t n)
{
    // Standard input keeps the runtime's default text mode; fread goes on until n bytes or the
    // end, so a body that arrives in several pipe writes is read whole.
    return std::fread(out, 1, n, stdin);
}

std::int64_t platform_now() { return static_cast<std::int64_t>(_time64(nullptr)); }

const char* platform_error_text(int err) { return std::strerror(err); }

char platform_path_separator() { return '\\'; }

const char* platform_after_directory(const char* path)
{
    // A backslash decides first, even when forward slashes follow it.
    const char* cut = std::strrchr(path, '\\');
    if (cut == nullptr)
        cut = std::strrchr(path, '/');
    return cut ? cut + 1 : nullptr;
}

bool platform_is_regular_file(const char* path)
{
    struct _stat64 st;
    return _stat64(path, &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
}

bool platform_name_is_path(const char* name) { return std::strpbrk(name, "\\/:") != nullptr; }

bool platform_path_runnable(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool platform_search_path(const char* name)
{
    constexpr DWORD found_capacity = 260;  // MAX_PATH: a longer full path counts as not found
    char found[found_capacity];
    DWORD length = SearchPathA(nullptr, name, ".exe", found_capacity, found, nullptr);
    return length >= 1 && length < found_capacity;
}

namespace {

// The runtime's error number for a kernel error code, so the message text is the runtime's.
int errno_from_win32(DWORD code)
{
    struct pair {
        DWORD win32;
        int err;
    };
    static constexpr pair table[] = {
        {ERROR_FILE_NOT_FOUND, ENOENT},     {ERROR_PATH_NOT_FOUND, ENOENT},
        {ERROR_INVALID_DRIVE, ENOENT},      {ERROR_BAD_NETPATH, ENOENT},
        {ERROR_BAD_NET_NAME, ENOENT},       {ERROR_INVALID_NAME, ENOENT},
        {ERROR_BAD_PATHNAME, ENOENT},       {ERROR_FILENAME_EXCED_RANGE, ENOENT},
        {ERROR_ACCESS_DENIED, EACCES},      {ERROR_SHARING_VIOLATION, EACCES},
        {ERROR_LOCK_VIOLATION, EACCES},     {ERROR_WRITE_PROTECT, EACCES},
        {ERROR_CURRENT_DIRECTORY, EACCES},  {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
        {ERROR_OUTOFMEMORY, ENOMEM},        {ERROR_DISK_FULL, ENOSPC},
        {ERROR_HANDLE_DISK_FULL, ENOSPC},   {ERROR_FILE_EXISTS, EEXIST},
        {ERROR_ALREADY_EXISTS, EEXIST},     {ERROR_NOT_SAME_DEVICE, EXDEV},
        {ERROR_DIR_NOT_EMPTY, ENOTEMPTY},   {ERROR_INVALID_HANDLE, EBADF},
        {ERROR_TOO_MANY_OPEN_FILES, EMFILE}, {ERROR_BROKEN_PIPE, EPIPE},
    };
    for (const pair& p : table) {
        if (p.win32 == code)
            return p.err;
    }
    return EINVAL;  // the runtime's own answer for codes it has no better number for
}

// A runtime file descriptor, closed when released.
struct fd_owner {
    int fd = -1;
    ~fd_owner()
    {
        if (fd >= 0)
            _close(fd);
    }
    int release()
    {
        int r = _close(fd);
        fd = -1;
        return r;
    }
};

bool write_all(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        unsigned int piece = bytes.size() > 0x40000000u ? 0x40000000u
                                                        : static_cast<unsigned int>(bytes.size());
        int w = _write(fd, bytes.data(), piece);
        if (w <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(w));
    }
    return true;
}

// Opens a fresh temporary file beside the target, so the move stays within one volume.
int open_temporary(const char* path, std::string& name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = path;
        name += '.';
        name += std::to_string(_getpid());
        name += '.';
        name += std::to_string(attempt);
        name += ".tmp";
        int fd = _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                       _S_IREAD | _S_IWRITE);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

}  // namespace

replace_result platform_replace_file(const char* path, std::string_view content)
{
    std::string temporary;
    fd_owner file{open_temporary(path, temporary)};
    if (file.fd < 0)
        return {false, errno};
    int err = 0;
    // _commit asks the kernel to write the file's buffers through to the disk.
    if (!write_all(file.fd, content) || _commit(file.fd) != 0)
        err = errno ? errno : EIO;
    if (file.release() != 0 && err == 0)
        err = errno;
    if (err == 0 &&
        !MoveFileExA(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        err = errno_from_win32(GetLastError());
    if (err != 0) {
        (void)_unlink(temporary.c_str());
        return {false, err};
    }
    return {true, 0};
}

bool platform_shell_must_escape(char c) { return c == '"'; }

const char* platform_null_device() { return "NUL"; }

namespace {

// A kernel handle, closed when released.
struct handle_owner {
    HANDLE h = nullptr;
    handle_owner() = default;
    explicit handle_owner(HANDLE value) : h(value) {}
    handle_owner(const handle_owner&) = delete;
    handle_owner& operator=(const handle_owner&) = delete;
    ~handle_owner() { reset(); }
    void reset()
    {
        if (h != nullptr && h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        h = nullptr;
    }
    bool valid() const { return h != nullptr && h != INVALID_HANDLE_VALUE; }
};

// The command shell's exit code when it cannot find the command it was asked to run.
constexpr DWORD shell_not_found_code = 9009;
// Sleeps between looks at an idle pipe grow to this bound.
constexpr DWORD poll_pause_max_ms = 16;
// How long a time-out waits for the ended processes to be gone before returning.
constexpr DWORD terminate_wait_ms = 5000;

// The spawned shell. Its job ends every process the shell started when the job is closed, so
// nothing the command left behind outlives the run.
struct shell_child {
    handle_owner job;
    handle_owner process;
    handle_owner out;  // read end of the shell's standard output
};

// An inheritable copy of one of this process's standard handles, for the child; an absent
// standard handle stays absent.
HANDLE inheritable_copy(DWORD which, handle_owner& copy)
{
    HANDLE own = GetStdHandle(which);
    if (own == nullptr || own == INVALID_HANDLE_VALUE)
        return own;
    HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, own, self, &copy.h, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
        // A console handle on older systems is a pseudo-handle that cannot be duplicated; the
        // child then gets the handle as it is and finds its console by itself.
        copy.h = nullptr;
        return own;
    }
    return copy.h;
}

bool make_job(handle_owner& job)
{
    job.h = CreateJobObjectA(nullptr, nullptr);
    if (!job.valid())
        return false;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    return SetInformationJobObject(job.h, JobObjectExtendedLimitInformation, &limits,
                                   sizeof limits) != 0;
}

// The command line handed to the shell: /s makes the shell strip exactly the outer pair of
// quotes, so a command that starts with a quoted program path and holds more quotes keeps them.
std::string shell_command_line(const char* command_line)
{
    const char* comspec = std::getenv("COMSPEC");
    std::string line = "\"";
    line += comspec != nullptr && comspec[0] != '\0' ? comspec : "cmd.exe";
    line += "\" /s /c \"";
    line += command_line;
    line += '"';
    return line;
}

bool spawn_shell(shell_child& child, const char* command_line)
{
    if (!make_job(child.job))
        return false;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    handle_owner write_end;
    if (!CreatePipe(&child.out.h, &write_end.h, &inherit, 65536))
        return false;
    // Only the write end goes to the child; the child holding the read end would keep the pipe
    // open after this side closed it.
    if (!SetHandleInformation(child.out.h, HANDLE_FLAG_INHERIT, 0))
        return false;
    handle_owner input, error;

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable_copy(STD_INPUT_HANDLE, input);
    startup.hStdOutput = write_end.h;
    startup.hStdError = inheritable_copy(STD_ERROR_HANDLE, error);
    std::string line = shell_command_line(command_line);
    PROCESS_INFORMATION started{};
    // Suspended until it is inside the job, so nothing it starts can escape the job.
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                        nullptr, &startup, &started))
        return false;
    child.process.h = started.hProcess;
    handle_owner thread(started.hThread);
    // A shell outside the job could not be ended with what it started, so a refused job
    // (a host job that forbids nesting) counts as a shell that could not be started.
    if (!AssignProcessToJobObject(child.job.h, started.hProcess) ||
        ResumeThread(started.hThread) == static_cast<DWORD>(-1)) {
        (void)TerminateProcess(started.hProcess, 1);
        child.process.reset();
        return false;
    }
    return true;
}

// Milliseconds left until the deadline, 0 when it has passed.
DWORD left_ms(ULONGLONG deadline)
{
    ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

// Waits, up to a bound, until no process of the job is left. Ending a process takes effect
// shortly after the call that ends it; the caller should find them gone, not going.
void wait_until_job_empty(const shell_child& child, DWORD bound_ms)
{
    ULONGLONG deadline = GetTickCount64() + bound_ms;
    for (;;) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION counts{};
        if (!QueryInformationJobObject(child.job.h, JobObjectBasicAccountingInformation, &counts,
                                       sizeof counts, nullptr)) {
            (void)WaitForSingleObject(child.process.h, left_ms(deadline));
            return;
        }
        if (counts.ActiveProcesses == 0 || left_ms(deadline) == 0)
            return;
        Sleep(5);
    }
}

// Reads until the output ends, the consumer declines more, or the deadline passes. An anonymous
// pipe cannot be waited on with a time limit, so an idle pipe is looked at in short pauses.
bool read_output(shell_child& child, ULONGLONG deadline,
                 const std::function<bool(std::string_view)>& on_output)
{
    char piece[8192];
    DWORD pause_ms = 1;
    while (child.out.valid()) {
        DWORD available = 0;
        if (!PeekNamedPipe(child.out.h, nullptr, 0, nullptr, &available, nullptr)) {
            child.out.reset();  // every writer has gone: the output has ended
            break;
        }
        if (available == 0) {
            DWORD left = left_ms(deadline);
            if (left == 0)
                return false;
            Sleep(pause_ms < left ? pause_ms : left);
            pause_ms = pause_ms < poll_pause_max_ms ? pause_ms * 2 : poll_pause_max_ms;
            continue;
        }
        pause_ms = 1;
        DWORD got = 0;
        DWORD want = available < sizeof piece ? available : static_cast<DWORD>(sizeof piece);
        if (!ReadFile(child.out.h, piece, want, &got, nullptr) || got == 0 ||
            !on_output(std::string_view(piece, got)))
            child.out.reset();
    }
    return true;
}

// The shell's exit code as a POSIX-style status: the code in bits 8 to 15. The shell's own
// "not recognized" code counts as the conventional 127; a code that does not fit in eight bits
// (a crash, for example) becomes 255, so it never reads as success or as "not found".
int status_from_exit_code(DWORD code)
{
    if (code == shell_not_found_code)
        return 127 << 8;
    return static_cast<int>(code <= 255 ? code : 255) << 8;
}

}  // namespace

shell_outcome platform_run_shell(const char* command_line, int timeout_seconds,
                                 const std::function<bool(std::string_view)>& on_output)
{
    ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_seconds) * 1000;
    shell_child child;
    if (!spawn_shell(child, command_line))
        return {false, false, -1};
    bool output_done = read_output(child, deadline, on_output);
    if (!output_done ||
        WaitForSingleObject(child.process.h, left_ms(deadline)) != WAIT_OBJECT_0) {
        // Should the job refuse, the shell at least is ended; closing the job on return ends
        // the rest through its kill-on-close limit.
        if (!TerminateJobObject(child.job.h, 1))
            (void)TerminateProcess(child.process.h, 1);
        wait_until_job_empty(child, terminate_wait_ms);
        return {true, true, -1};
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(child.process.h, &code))
        return {true, false, -1};
    return {true, false, status_from_exit_code(code)};
}
