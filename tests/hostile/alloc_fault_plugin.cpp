// The plug-in with its allocation seam armed, for the allocation-failure sweeps.
//
//   alloc_fault_plugin N once|onward
//
// The N-th allocation fails (and, with "onward", every one after it); the request comes from
// the environment as usual. Standard error gets "fired" or "unfired" at the end, so a sweep
// knows when N has passed the last allocation of the request.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "front/dispatch.h"
#include "front/memory.h"

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    mem_fail_nth(std::strtoul(argv[1], nullptr, 10), std::strcmp(argv[2], "onward") == 0);
    char* plugin_argv[] = {argv[0], nullptr};
    int status = plugin_main(1, plugin_argv);
    std::fputs(mem_failure_happened() ? "fired\n" : "unfired\n", stderr);
    return status;
}
