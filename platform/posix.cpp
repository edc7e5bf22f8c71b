// The platform layer on POSIX systems.
#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

const char* platform_getenv(const char* name) { return std::getenv(name); }

void platform_setenv(const char* name, const char* value)
{
    if (value == nullptr || value[0] == '\0')
        unsetenv(name);
    else
        setenv(name, value, 1);
}

std::size_t platform_read_os_env(const char* name, char* out, std::size_t cap)
{
    // POSIX has one environment, so this reads the same table as platform_getenv.
    const char* value = std::getenv(name);
    if (value == nullptr)
        return 0;
    std::size_t length = std::strlen(value);
    if (length >= cap)
        return length + 1;
    std::memcpy(out, value, length + 1);
    return length;
}

void platform_stdout_binary()
{
    // A client that goes away must give a failed write, not a killed process.
    std::signal(SIGPIPE, SIG_IGN);
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
    std::size_t got = 0;
    while (got < n) {
        ssize_t r = read(STDIN_FILENO, out + got, n - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += static_cast<std::size_t>(r);
    }
    return got;
}

std::int64_t platform_now() { return static_cast<std::int64_t>(std::time(nullptr)); }

const char* platform_error_text(int err) { return std::strerror(err); }

char platform_path_separator() { return '/'; }

const char* platform_after_directory(const char* path)
{
    // A backslash is an ordinary file-name byte here.
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : nullptr;
}

bool platform_is_regular_file(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool platform_name_is_path(const char* name) { return std::strchr(name, '/') != nullptr; }

bool platform_path_runnable(const char* path)
{
    struct stat st;
    if (stat(path, &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return access(path, X_OK) == 0;
}

bool platform_search_path(const char* name)
{
    const char* path = std::getenv("PATH");
    if (name[0] == '\0' || path == nullptr)
        return false;
    std::string candidate;
    for (const char* dir = path;; ) {
        const char* end = std::strchr(dir, ':');
        std::size_t length = end ? static_cast<std::size_t>(end - dir) : std::strlen(dir);
        // An empty entry names the working directory.
        candidate.assign(dir, length);
        candidate += length ? "/" : "./";
        candidate += name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return true;
        if (end == nullptr)
            return false;
        dir = end + 1;
    }
}

namespace {

bool write_all(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t w = write(fd, bytes.data(), bytes.size());
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(w));
    }
    return true;
}

// Opens a fresh temporary file beside the target, so the rename stays within one file system.
int open_temporary(const char* path, std::string& name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".%ld.%d.tmp", static_cast<long>(getpid()), attempt);
        name.assign(path).append(suffix);
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

}  // namespace

replace_result platform_replace_file(const char* path, std::string_view content)
{
    std::string temporary;
    int fd = open_temporary(path, temporary);
    if (fd < 0)
        return {false, errno};
    int err = 0;
    if (!write_all(fd, content) || fsync(fd) != 0)
        err = errno ? errno : EIO;
    if (close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && rename(temporary.c_str(), path) != 0)
        err = errno;
    if (err != 0) {
        unlink(temporary.c_str());
        return {false, err};
    }
    return {true, 0};
}

bool platform_shell_must_escape(char c) { return c == '"' || c == '\\' || c == '$' || c == '`'; }

const char* platform_null_device() { return "/dev/null"; }

namespace {

std::int64_t monotonic_ms()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// The spawned shell and its pipe; ends and reaps whatever is still running when released.
struct shell_child {
    pid_t pid = -1;
    int out = -1;
    bool reaped = false;
    int status = -1;

    ~shell_child()
    {
        close_output();
        if (pid > 0 && !reaped) {
            kill(-pid, SIGKILL);
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
    }
    void close_output()
    {
        if (out >= 0)
            close(out);
        out = -1;
    }
    void end_group() { kill(-pid, SIGKILL); }
};

bool spawn_shell(shell_child& child, const char* command_line)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    // Its own process group, so a time-out ends the shell and everything it started; and the
    // default SIGPIPE, which this process ignores for itself.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
    char sh[] = "/bin/sh", dash_c[] = "-c";
    char* argv[] = {sh, dash_c, const_cast<char*>(command_line), nullptr};
    int rc = posix_spawn(&child.pid, "/bin/sh", &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(fds[1]);
    if (rc != 0) {
        child.pid = -1;
        close(fds[0]);
        return false;
    }
    child.out = fds[0];
    return true;
}

// Reads until the output ends, the consumer declines more, or the deadline passes.
bool read_output(shell_child& child, std::int64_t deadline,
                 const std::function<bool(std::string_view)>& on_output)
{
    char piece[8192];
    while (child.out >= 0) {
        std::int64_t left = deadline - monotonic_ms();
        if (left <= 0)
            return false;
        pollfd p{child.out, POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        ssize_t r = read(child.out, piece, sizeof piece);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0 || !on_output(std::string_view(piece, static_cast<std::size_t>(r))))
            child.close_output();
    }
    return true;
}

bool wait_until(shell_child& child, std::int64_t deadline)
{
    // A process descriptor becomes readable when the child ends, so the wait can have a
    // deadline without polling on a timer.
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, child.pid, 0));
    for (;;) {
        pid_t r = waitpid(child.pid, &child.status, WNOHANG);
        if (r == child.pid || (r < 0 && errno != EINTR)) {
            child.reaped = true;
            if (r < 0)
                child.status = -1;
            break;
        }
        std::int64_t left = deadline - monotonic_ms();
        if (left <= 0)
            break;
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};
            poll(&p, 1, static_cast<int>(left));
        } else {
            timespec pause{0, 2000000L};
            nanosleep(&pause, nullptr);
        }
    }
    if (pidfd >= 0)
        close(pidfd);
    return child.reaped;
}

}  // namespace

shell_outcome platform_run_shell(const char* command_line, int timeout_seconds,
                                 const std::function<bool(std::string_view)>& on_output)
{
    std::int64_t deadline = monotonic_ms() + std::int64_t{timeout_seconds} * 1000;
    shell_child child;
    if (!spawn_shell(child, command_line))
        return {false, false, -1};
    if (!read_output(child, deadline, on_output) || !wait_until(child, deadline)) {
        child.end_group();
        return {true, true, -1};
    }
    return {true, false, child.status};
}
