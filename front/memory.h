// Where the plug-in takes heap memory: one place, so tests can make an allocation fail.
#pragma once

#include <cstddef>

// The C allocation calls, released with std::free. Null when memory is exhausted, or when the
// test hook below says this allocation fails.
void* mem_alloc(std::size_t size);
void* mem_realloc(void* block, std::size_t size);
void* mem_calloc(std::size_t count, std::size_t size);

// Owns a block from the calls above, for std::unique_ptr.
struct mem_deleter {
    void operator()(void* block) const;
};

// Test hook: the n-th allocation from now on (1 = the next one) fails, and with keep_failing
// every one after it too; n = 0 turns failures off. Unarmed, an allocation costs one test.
void mem_fail_nth(unsigned long n, bool keep_failing);
// Whether an allocation has failed on purpose since the hook was armed.
bool mem_failure_happened();
