/* Runs a command and prints its peak resident memory in KiB on standard error. Being small and static, this
   process adds almost nothing to the figure, which a child inherits from its parent's size. */
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    pid_t pid = fork();
    if (pid == 0) {
        execv(argv[1], argv + 1);
        _exit(127);
    }
    int status;
    struct rusage usage;
    if (pid < 0 || wait4(pid, &status, 0, &usage) < 0)
        return 2;
    fprintf(stderr, "%ld\n", usage.ru_maxrss);
    return WIFEXITED(status) && WEXITSTATUS(status) != 127 ? 0 : 1;
}
