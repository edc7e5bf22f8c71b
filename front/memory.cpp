// The allocation seam: the C allocation calls behind a countdown that only tests arm.
#include "front/memory.h"

#include <cstdlib>

namespace {

// Allocations left before the armed failure; 0 when none is armed. One process serves one
// request on one thread, so plain globals are enough.
unsigned long fail_countdown = 0;
bool fail_keep = false;
bool fail_happened = false;

bool must_fail()
{
    if (fail_countdown == 0 || --fail_countdown > 0)
        return false;
    fail_happened = true;
    if (fail_keep)
        fail_countdown = 1;
    return true;
}

}  // namespace

void* mem_alloc(std::size_t size) { return must_fail() ? nullptr : std::malloc(size); }

void* mem_realloc(void* block, std::size_t size)
{
    return must_fail() ? nullptr : std::realloc(block, size);
}

void* mem_calloc(std::size_t count, std::size_t size)
{
    return must_fail() ? nullptr : std::calloc(count, size);
}

void mem_deleter::operator()(void* block) const { std::free(block); }

void mem_fail_nth(unsigned long n, bool keep_failing)
{
    fail_countdown = n;
    fail_keep = keep_failing;
    fail_happened = false;
}

bool mem_failure_happened() { return fail_happened; }
