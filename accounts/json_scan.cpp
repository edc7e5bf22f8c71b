// The in-place JSON scanner: skips values, finds top-level keys, reads strings and numbers.
#include "accounts/json_scan.h"

#include <cstdlib>
#include <cstring>

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_opener(char c) { return c == '{' || c == '['; }
bool is_closer(char c) { return c == '}' || c == ']'; }

const char* skip_space(const char* p)
{
    while (is_space(*p))
        ++p;
    return p;
}

// p is inside a string; returns the position after its closing quote, or the NUL.
const char* string_end(const char* p)
{
    for (;;) {
        p += std::strcspn(p, "\"\\");
        if (*p == '\0')
            return p;
        if (*p == '"')
            return p + 1;
        if (*++p == '\0')  // a backslash escapes the next byte, unless the text ends there
            return p;
        ++p;
    }
}

// p is at an opening quote.
const char* skip_string(const char* p) { return string_end(p + 1); }

// Everything but these bytes passes through a container scan unexamined.
constexpr const char* structural_bytes = "\"[]{}";

char unescape(char c)
{
    switch (c) {
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    default: return c;  // quote, backslash, slash, and any other byte stand for themselves
    }
}

}  // namespace

const char* json_skip_value(const char* p)
{
    if (p == nullptr)
        return nullptr;
    p = skip_space(p);
    if (*p == '\0')
        return nullptr;
    if (*p == '"')
        return skip_string(p);
    if (is_opener(*p)) {
        // One counter for both bracket kinds: a closer never has to match its opener.
        int depth = 0;
        while (*(p += std::strcspn(p, structural_bytes))) {
            if (*p == '"') {
                p = skip_string(p);
                continue;
            }
            if (is_opener(*p))
                ++depth;
            else if (is_closer(*p) && --depth <= 0)
                return p + 1;
            ++p;
        }
        return p;
    }
    while (*p && !is_space(*p) && *p != ',' && !is_closer(*p))
        ++p;
    return p;
}

int json_read_string_at(const char** cursor, char* out, std::size_t capacity)
{
    if (cursor == nullptr || *cursor == nullptr || **cursor != '"')
        return 0;
    const char* p = *cursor + 1;
    std::size_t stored = 0;
    while (*p && *p != '"' && stored + 1 < capacity) {
        char c = *p++;
        if (c == '\\' && *p != '\0')
            c = unescape(*p++);
        out[stored++] = c;
    }
    out[stored] = '\0';
    // The rest of a string too long for the output is consumed unread.
    *cursor = string_end(p);
    return 1;
}

const char* json_find_key(const char* start, const char* end, const char* key)
{
    if (start == nullptr || end == nullptr || start >= end)
        return nullptr;
    const char* p = start;
    while (p < end && is_space(*p))
        ++p;
    if (p >= end)
        return nullptr;
    if (*p == '{')
        ++p;
    int depth = 0;
    while ((p += std::strcspn(p, structural_bytes)) < end && *p) {
        if (*p == '"' && depth != 0) {
            p = skip_string(p);  // nested strings only matter for the brackets they hide
            continue;
        }
        if (*p == '"') {
            char name[128];
            json_read_string_at(&p, name, sizeof name);
            if (std::strcmp(name, key) != 0)
                continue;
            const char* q = p;
            while (q < end && is_space(*q))
                ++q;
            if (q >= end || *q != ':')
                continue;  // a value that happens to spell the key
            ++q;
            while (q < end && is_space(*q))
                ++q;
            return q < end ? q : nullptr;
        }
        if (is_opener(*p))
            ++depth;
        else if (is_closer(*p))
            --depth;
        ++p;
    }
    return nullptr;
}

int json_str_field(const char* start, const char* end, const char* key, char* out,
                   std::size_t capacity)
{
    const char* value = json_find_key(start, end, key);
    if (value == nullptr || *value == 'n')
        return 0;
    out[0] = '\0';
    if (*value == '"')
        return json_read_string_at(&value, out, capacity);
    std::size_t stored = 0;
    for (const char* p = value; p < end && *p && *p != ',' && !is_closer(*p); ++p) {
        if (stored + 1 >= capacity)
            break;
        out[stored++] = *p;
    }
    out[stored] = '\0';
    trim_tail(out);
    return out[0] != '\0';
}

int json_double_field(const char* start, const char* end, const char* key, double* out)
{
    const char* value = json_find_key(start, end, key);
    if (value == nullptr)
        return 0;
    char c = *value;
    if (!((c >= '0' && c <= '9') || c == '-' || c == '.'))
        return 0;
    char* stop = nullptr;
    double number = std::strtod(value, &stop);
    if (stop == value)
        return 0;
    *out = number;
    return 1;
}

void trim_tail(char* text)
{
    if (text == nullptr)
        return;
    std::size_t n = std::strlen(text);
    while (n > 0 && is_space(text[n - 1]))
        text[--n] = '\0';
}
