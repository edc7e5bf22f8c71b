// The query-string reader: segment matching and percent-decoding into a caller's buffer.
#include "front/query_string.h"

#include <cstring>

namespace {

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Calls visit(segment start) for each segment until it returns true; the scan ends when the
// query's last byte is "&".
template <typename Visit>
bool for_each_segment(const char* query, Visit visit)
{
    for (const char* segment = query;;) {
        if (visit(segment))
            return true;
        const char* amp = std::strchr(segment, '&');
        if (amp == nullptr || amp[1] == '\0')
            return false;
        segment = amp + 1;
    }
}

void decode_in_place(char* text)
{
    char* write = text;
    for (const char* read = text; *read; ++read) {
        int high = read[0] == '%' ? hex_value(read[1]) : -1;
        int low = high >= 0 ? hex_value(read[2]) : -1;
        if (low >= 0) {
            *write++ = static_cast<char>(high * 16 + low);
            read += 2;
        } else {
            *write++ = *read == '+' ? ' ' : *read;
        }
    }
    *write = '\0';
}

}  // namespace

int query_has(const char* query, const char* name)
{
    if (query == nullptr || query[0] == '\0')
        return 0;
    std::size_t n = std::strlen(name);
    return for_each_segment(query, [&](const char* segment) {
        return std::strncmp(segment, name, n) == 0 &&
               (segment[n] == '\0' || segment[n] == '&' || segment[n] == '=');
    });
}

int get_query_val(const char* query, const char* name, char* out, std::size_t capacity)
{
    out[0] = '\0';
    if (query == nullptr || query[0] == '\0')
        return 0;
    std::size_t n = std::strlen(name);
    const char* value = nullptr;
    for_each_segment(query, [&](const char* segment) {
        if (std::strncmp(segment, name, n) != 0 || segment[n] != '=')
            return false;
        value = segment + n + 1;
        return true;
    });
    if (value == nullptr)
        return 0;
    std::size_t length = std::strcspn(value, "&");
    if (length > capacity - 1)
        length = capacity - 1;
    std::memcpy(out, value, length);
    out[length] = '\0';
    decode_in_place(out);
    return 1;
}
