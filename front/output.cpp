// The response buffer, the JSON string encoder and the two ways a JSON response is written.
#include "front/output.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "front/memory.h"
#include "platform/platform.h"

buf::~buf() { std::free(data); }

namespace {

// Room for count more bytes and the terminator; false when memory or the ceiling runs out.
bool buf_reserve(buf& b, std::size_t count)
{
    if (count >= buf_max_capacity)
        return false;
    std::uint64_t need = b.length + count + 1;
    if (need <= b.capacity)
        return true;
    std::uint64_t capacity = b.capacity ? b.capacity : buf_first_capacity;
    while (capacity < need) {
        if (capacity > buf_max_capacity / 2)
            return false;
        capacity *= 2;
    }
    void* grown = mem_realloc(b.data, static_cast<std::size_t>(capacity));
    if (grown == nullptr)
        return false;
    b.data = static_cast<char*>(grown);
    b.capacity = capacity;
    return true;
}

}  // namespace

int buf_add(buf& b, const void* bytes, std::size_t count)
{
    if (bytes == nullptr || count == 0)
        return 1;
    if (!buf_reserve(b, count)) {
        b.failed = true;
        return 0;
    }
    std::memcpy(b.data + b.length, bytes, count);
    b.length += count;
    b.data[b.length] = '\0';
    return 1;
}

int buf_adds(buf& b, const char* text) { return buf_add(b, text, text ? std::strlen(text) : 0); }

int buf_addf(buf& b, const char* format, ...)
{
    char area[2048];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(area, sizeof area, format, args);
    va_end(args);
    int result = 0;
    if (n >= 0 && static_cast<std::size_t>(n) < sizeof area) {
        result = buf_add(b, area, static_cast<std::size_t>(n));
    } else if (n >= 0) {
        char* whole = static_cast<char*>(mem_alloc(static_cast<std::size_t>(n) + 1));
        if (whole != nullptr) {
            std::vsnprintf(whole, static_cast<std::size_t>(n) + 1, format, again);
            result = buf_add(b, whole, static_cast<std::size_t>(n));
            std::free(whole);
        }
    }
    va_end(again);
    if (!result)
        b.failed = true;
    return result;
}

int buf_add_fixed2(buf& b, double value)
{
    char area[400];  // the longest double in fixed notation with two decimals fits
    auto [end, err] = std::to_chars(area, area + sizeof area, value, std::chars_format::fixed, 2);
    return err == std::errc() ? buf_add(b, area, static_cast<std::size_t>(end - area)) : 0;
}

int buf_add_int(buf& b, long long value)
{
    char area[24];
    auto [end, err] = std::to_chars(area, area + sizeof area, value);
    return err == std::errc() ? buf_add(b, area, static_cast<std::size_t>(end - area)) : 0;
}

namespace {

// The short escape of a byte, or null for a control byte that is written as \u00XX.
constexpr const char* short_escape(unsigned char c)
{
    switch (c) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: return nullptr;
    }
}

constexpr bool needs_escape(unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; }

}  // namespace

int buf_json(buf& b, const char* text)
{
    if (!buf_add(b, "\"", 1))
        return 0;
    const char* run = text ? text : "";
    for (const char* p = run;; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c != 0 && !needs_escape(c))
            continue;
        // Plain bytes go out in runs; only the bytes that need an escape are handled alone.
        if (!buf_add(b, run, static_cast<std::size_t>(p - run)))
            return 0;
        if (c == 0)
            break;
        const char* escape = short_escape(c);
        if (!(escape ? buf_adds(b, escape) : buf_addf(b, "\\u%04x", c)))
            return 0;
        run = p + 1;
    }
    return buf_add(b, "\"", 1);
}

namespace {

// Written when even an envelope cannot be built: it needs no memory of its own.
constexpr std::string_view oom_envelope =
    "Status: 500 Internal Server Error\r\n"
    "Content-Type: application/json; charset=utf-8\r\n"
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n\r\n"
    "{\"ok\":false,\"error\":\"oom\",\"detail\":\"out of memory\"}\n";

}  // namespace

int emit_json_document(const buf& document)
{
    // A document that lost a piece would be reported as a success; say what happened instead.
    if (document.failed) {
        (void)platform_write_stdout(oom_envelope);
        return 1;
    }
    // A client that went away cannot be told anything more; the exit status stands.
    (void)(platform_write_stdout(json_header_block) && platform_write_stdout(document.view()));
    return 0;
}

void emit_error(int status, const char* reason, const char* code, const char* detail)
{
    buf envelope;
    buf_addf(envelope, "Status: %d %s\r\n", status, reason);
    buf_add(envelope, json_header_block.data(), json_header_block.size());
    buf_adds(envelope, "{\"ok\":false,\"error\":");
    buf_json(envelope, code);
    if (detail != nullptr && detail[0] != '\0') {
        buf_adds(envelope, ",\"detail\":");
        buf_json(envelope, detail);
    }
    buf_adds(envelope, "}\n");
    (void)platform_write_stdout(envelope.failed ? oom_envelope : envelope.view());
}
