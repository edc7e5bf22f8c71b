// The stand-in quota tool's operating-system services on POSIX.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <sys/types.h>
#include <unistd.h>

void standin_stdout_binary() {}

void standin_sleep_ms(long milliseconds) {
    if (milliseconds <= 0) return;
    timespec left{milliseconds / 1000, (milliseconds % 1000) * 1'000'000L};
    // A signal may cut the sleep short; sleep the rest so the directive's time holds.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

bool standin_leave_lingering_child(long seconds) {
    std::fflush(stdout);  // the child must not print the parent's buffered bytes a second time
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        // Same process group as the parent, so whoever ends the tool's group ends this too.
        standin_sleep_ms(seconds * 1000);
        _exit(0);
    }
    return true;
}

void standin_close_stdout() {
    std::fflush(stdout);
    close(STDOUT_FILENO);
}

[[noreturn]] void standin_kill_self() {
    std::fflush(stdout);
    kill(getpid(), SIGKILL);
    // SIGKILL cannot be caught; this only satisfies the compiler that nothing returns.
    _exit(137);
}
