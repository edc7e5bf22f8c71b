// Fuzzes every JSON scanner operation on random text with random start and end positions.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "accounts/json_scan.h"
#include "fuzz/fuzz_support.h"

namespace {

bool is_json_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

const char* const known_keys[] = {"email", "account", "refresh_token", "ok", "error", "project",
                                  "buckets", "modelId", "resetTime", "remainingFraction",
                                  "summary", "groups", "", "a"};

void check_skip_value(const char* text, std::size_t length, std::size_t start)
{
    const char* p = text + start;
    const char* after = json_skip_value(p);
    bool only_space = true;
    for (const char* q = p; *q; ++q)
        only_space = only_space && is_json_space(*q);
    FUZZ_CHECK((after == nullptr) == only_space);
    FUZZ_CHECK(after == nullptr || (after >= p && after <= text + length));
    FUZZ_CHECK(json_skip_value(nullptr) == nullptr);
}

void check_read_string(const char* text, std::size_t length, std::size_t start,
                       std::size_t capacity)
{
    const char* cursor = text + start;
    text_block out = marked_area(capacity);
    int read = json_read_string_at(&cursor, out.get(), capacity);
    FUZZ_CHECK(read == (text[start] == '"' ? 1 : 0));
    if (read) {
        FUZZ_CHECK(is_terminated(out.get(), capacity));
        FUZZ_CHECK(cursor > text + start && cursor <= text + length);
    } else {
        FUZZ_CHECK(cursor == text + start);
        FUZZ_CHECK(out[0] == '\x5a' && out[capacity - 1] == '\x5a');
    }
}

void check_fields(const char* text, std::size_t start, std::size_t end, const char* key,
                  std::size_t capacity)
{
    const char* s = text + start;
    const char* e = text + end;
    const char* value = json_find_key(s, e, key);
    FUZZ_CHECK(value == nullptr || (value >= s && value < e));
    FUZZ_CHECK(start < end || value == nullptr);

    text_block out = marked_area(capacity);
    int stored = json_str_field(s, e, key, out.get(), capacity);
    if (stored) {
        FUZZ_CHECK(is_terminated(out.get(), capacity));
        FUZZ_CHECK(value != nullptr);
    } else {
        // Untouched for a missing or null value; emptied when a bare value trims to nothing.
        FUZZ_CHECK(out[0] == '\0' || (out[0] == '\x5a' && out[capacity - 1] == '\x5a'));
    }

    double number = 12345.5;
    int converted = json_double_field(s, e, key, &number);
    FUZZ_CHECK(converted || number == 12345.5);
    FUZZ_CHECK(!converted || value != nullptr);
}

void check_trim(const char* text, std::size_t start)
{
    std::string copy(text + start);
    text_block trimmed = exact_text(copy);
    trim_tail(trimmed.get());
    std::size_t kept = std::strlen(trimmed.get());
    FUZZ_CHECK(kept <= copy.size() && copy.compare(0, kept, trimmed.get()) == 0);
    FUZZ_CHECK(kept == 0 || !is_json_space(trimmed[kept - 1]));
    for (std::size_t i = kept; i < copy.size(); ++i)
        FUZZ_CHECK(is_json_space(copy[i]));
    trim_tail(nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    unsigned start_pick = in.ConsumeIntegral<std::uint16_t>();
    unsigned end_pick = in.ConsumeIntegral<std::uint16_t>();
    std::size_t capacity = in.ConsumeIntegralInRange<std::size_t>(1, 300);
    std::size_t key_pick = in.ConsumeIntegralInRange<std::size_t>(0, std::size(known_keys));
    std::string key = key_pick < std::size(known_keys) ? known_keys[key_pick]
                                                       : in.ConsumeRandomLengthString(16);
    key = key.substr(0, key.find('\0'));
    std::string bytes = in.ConsumeRemainingBytesAsString();
    // The scanner reads a terminated text: its length runs to the first NUL.
    bytes = bytes.substr(0, bytes.find('\0'));
    text_block text = exact_text(bytes);
    std::size_t length = bytes.size();
    std::size_t start = start_pick % (length + 1);
    std::size_t end = end_pick % (length + 1);

    check_skip_value(text.get(), length, start);
    check_read_string(text.get(), length, start, capacity);
    check_fields(text.get(), start, end, key.c_str(), capacity);
    // The way every caller uses it: an object found by a byte search, bounded by its own end.
    if (const char* brace = std::strchr(text.get() + start, '{')) {
        const char* object_end = json_skip_value(brace);
        FUZZ_CHECK(object_end != nullptr && object_end > brace);
        check_fields(text.get(), static_cast<std::size_t>(brace - text.get()),
                     static_cast<std::size_t>(object_end - text.get()), key.c_str(), capacity);
    }
    check_trim(text.get(), start);
    return 0;
}
