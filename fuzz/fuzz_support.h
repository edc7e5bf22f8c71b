// Helpers the fuzz targets share: exact-size copies, so a read or write one byte too far trips
// AddressSanitizer, and a check that aborts with a message libFuzzer records as a finding.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

struct free_block {
    void operator()(void* p) const { std::free(p); }
};
using text_block = std::unique_ptr<char[], free_block>;

// A heap copy of the bytes followed by one NUL, in a block of exactly that size.
inline text_block exact_text(std::string_view bytes)
{
    text_block block(static_cast<char*>(std::malloc(bytes.size() + 1)));
    if (!bytes.empty())
        std::memcpy(block.get(), bytes.data(), bytes.size());
    block[bytes.size()] = '\0';
    return block;
}

// A block of exactly capacity bytes filled with a marker, for outputs whose capacity is tested.
inline text_block marked_area(std::size_t capacity, char marker = '\x5a')
{
    text_block block(static_cast<char*>(std::malloc(capacity)));
    std::memset(block.get(), marker, capacity);
    return block;
}

// True when a NUL lies within the first capacity bytes.
inline bool is_terminated(const char* area, std::size_t capacity)
{
    return std::memchr(area, '\0', capacity) != nullptr;
}

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "property broken at %s:%d: %s\n", __FILE__, __LINE__,         \
                         #condition);                                                          \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)
