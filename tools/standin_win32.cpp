// The stand-in quota tool's operating-system services on Windows.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <io.h>

#include <windows.h>

namespace {

// A lingering child is this same program started again with this variable holding the time
// to wait in milliseconds: Windows has no fork, and no stock command that only waits.
constexpr const char* linger_variable = "BRELVANE_STANDIN_LINGER_MS";

// Runs before main, so the lingering child never reads arguments, logs a call or prints.
const bool is_lingering_child = [] {
    const char* wait_ms = std::getenv(linger_variable);
    if (wait_ms == nullptr || wait_ms[0] == '\0')
        return false;
    Sleep(static_cast<DWORD>(std::strtoul(wait_ms, nullptr, 10)));
    ExitProcess(0);
}();

struct handle_owner {
    HANDLE h = nullptr;
    ~handle_owner()
    {
        if (h != nullptr)
            CloseHandle(h);
    }
};

}  // namespace

void standin_stdout_binary() { (void)_setmode(_fileno(stdout), _O_BINARY); }

void standin_sleep_ms(long milliseconds)
{
    if (milliseconds > 0)
        Sleep(static_cast<DWORD>(milliseconds));
}

bool standin_leave_lingering_child(long seconds)
{
    std::fflush(stdout);
    char self[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0 || length >= sizeof self)
        return false;
    // The child inherits a copy of standard output and so holds the reader's pipe open.
    handle_owner out;
    HANDLE process = GetCurrentProcess();
    if (!DuplicateHandle(process, GetStdHandle(STD_OUTPUT_HANDLE), process, &out.h, 0, TRUE,
                         DUPLICATE_SAME_ACCESS))
        return false;
    std::string wait_ms = std::to_string(seconds * 1000);
    if (!SetEnvironmentVariableA(linger_variable, wait_ms.c_str()))
        return false;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out.h;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string line = "\"";
    line.append(self, length);
    line += '"';
    PROCESS_INFORMATION started{};
    BOOL ok = CreateProcessA(self, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &started);
    (void)SetEnvironmentVariableA(linger_variable, nullptr);
    if (!ok)
        return false;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

void standin_close_stdout()
{
    std::fflush(stdout);
    // Closing the descriptor closes the kernel handle the reader's pipe depends on.
    (void)_close(_fileno(stdout));
}

[[noreturn]] void standin_kill_self()
{
    std::fflush(stdout);
    // Ends at once, without exit handlers or buffer flushes, like a kill from outside.
    TerminateProcess(GetCurrentProcess(), 137);
    ExitProcess(137);
}
