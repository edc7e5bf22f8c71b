// The response buffer, the one JSON string encoder, and the ways a response leaves the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// A growable NUL-terminated text. Capacities run 1,024 * 2^k up to 64 MiB; a failed append
// leaves it exactly as it was. It owns its block and releases it when it goes out of scope.
struct buf {
    char* data = nullptr;
    std::uint64_t length = 0;
    std::uint64_t capacity = 0;
    bool failed = false;  // an append was refused, so the text lacks a piece

    buf() = default;
    buf(const buf&) = delete;
    buf& operator=(const buf&) = delete;
    ~buf();

    std::string_view view() const { return {data ? data : "", static_cast<std::size_t>(length)}; }
};

constexpr std::uint64_t buf_first_capacity = 1024;
constexpr std::uint64_t buf_max_capacity = 64ull * 1024 * 1024;

// Each appender returns 1 on success and 0 when memory or the ceiling runs out.
int buf_add(buf& b, const void* bytes, std::size_t count);
int buf_adds(buf& b, const char* text);
int buf_addf(buf& b, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Append numbers exactly as "%.2f" and "%lld" would write them, without parsing a format:
// documents with thousands of rows spend most of their time in formatting otherwise.
int buf_add_fixed2(buf& b, double value);
int buf_add_int(buf& b, long long value);
// Appends the text (null reads as empty) as one JSON string literal, quotes included.
int buf_json(buf& b, const char* text);

inline const char* json_bool(int flag) { return flag ? "true" : "false"; }

// Writes the JSON header block, then the document in one write, and returns 0. A document
// that lost a piece to exhausted memory is answered with the "oom" envelope instead: 1.
[[nodiscard]] int emit_json_document(const buf& document);
// Writes a whole error response: status line, JSON header block and the envelope; the "oom"
// envelope when memory runs out while it is built.
void emit_error(int status, const char* reason, const char* code, const char* detail);

inline constexpr std::string_view json_header_block =
    "Content-Type: application/json; charset=utf-8\r\n"
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n\r\n";
