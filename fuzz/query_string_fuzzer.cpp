// Fuzzes the query-string reader against a plain model of its rules, at capacities 2 to 300.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "front/query_string.h"
#include "fuzz/fuzz_support.h"

namespace {

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The segments the reader looks at: the start, and after every "&" that is not the last byte.
template <typename Visit>
void model_segments(const std::string& q, Visit visit)
{
    std::size_t at = 0;
    for (;;) {
        std::size_t amp = q.find('&', at);
        std::size_t stop = amp == std::string::npos ? q.size() : amp;
        if (visit(std::string_view(q).substr(at, stop - at)))
            return;
        if (amp == std::string::npos || amp + 1 == q.size())
            return;
        at = amp + 1;
    }
}

bool model_has(const std::string& q, const std::string& name)
{
    bool found = false;
    if (q.empty())
        return false;
    model_segments(q, [&](std::string_view s) {
        found = s.substr(0, name.size()) == name &&
                (s.size() == name.size() || s[name.size()] == '=');
        return found;
    });
    return found;
}

bool model_value(const std::string& q, const std::string& name, std::size_t capacity,
                 std::string& out)
{
    out.clear();
    bool found = false;
    if (q.empty())
        return false;
    model_segments(q, [&](std::string_view s) {
        if (s.size() <= name.size() || s.substr(0, name.size()) != name || s[name.size()] != '=')
            return false;
        std::string_view raw = s.substr(name.size() + 1).substr(0, capacity - 1);
        for (std::size_t i = 0; i < raw.size(); ++i) {
            int high = raw[i] == '%' && i + 2 < raw.size() ? hex_digit(raw[i + 1]) : -1;
            int low = high >= 0 ? hex_digit(raw[i + 2]) : -1;
            if (low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
            } else {
                out += raw[i] == '+' ? ' ' : raw[i];
            }
        }
        found = true;
        return true;
    });
    // A decoded NUL ends the text for every reader.
    out = out.substr(0, out.find('\0'));
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    std::size_t capacity = in.ConsumeIntegralInRange<std::size_t>(2, 300);
    std::string name = in.ConsumeRandomLengthString(24);
    std::string query = in.ConsumeRemainingBytesAsString();
    // Both are terminated texts for the reader: whatever follows a NUL is not part of them.
    name = name.substr(0, name.find('\0'));
    // The program's names are fixed words; a name holding "&" would span segments.
    std::erase(name, '&');
    query = query.substr(0, query.find('\0'));
    text_block q = exact_text(query);
    text_block n = exact_text(name);

    FUZZ_CHECK(query_has(q.get(), n.get()) == (model_has(query, name) ? 1 : 0));

    text_block out = marked_area(capacity);
    int found = get_query_val(q.get(), n.get(), out.get(), capacity);
    FUZZ_CHECK(is_terminated(out.get(), capacity));
    std::string expected;
    FUZZ_CHECK(found == (model_value(query, name, capacity, expected) ? 1 : 0));
    FUZZ_CHECK(expected == out.get());
    FUZZ_CHECK(found || out[0] == '\0');
    // A value the reader finds is always a named parameter.
    FUZZ_CHECK(!found || query_has(q.get(), n.get()));
    return 0;
}
