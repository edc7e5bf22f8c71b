// A JSON scanner that reads values in place and never rejects a document: malformed text
// yields no value. Positions point into a NUL-terminated text; null is "no position".
// Range operations look at [start, end) but never read past the text's terminating NUL.
#pragma once

#include <cstddef>

// Position just after the value at p (after whitespace); null for null or only whitespace.
const char* json_skip_value(const char* p);
// Reads the string at *cursor into out (unescaped, cut to capacity - 1 bytes) and moves the
// cursor past it. Returns 0, touching nothing, when the cursor is not at a quote.
int json_read_string_at(const char** cursor, char* out, std::size_t capacity);
// Position of the first byte of the value of key among the top-level members at start.
const char* json_find_key(const char* start, const char* end, const char* key);
// 1 when a usable value was stored in out; 0 leaves out untouched for null or a missing key.
int json_str_field(const char* start, const char* end, const char* key, char* out,
                   std::size_t capacity);
// 1 when a number was stored in out; out is written only on success.
int json_double_field(const char* start, const char* end, const char* key, double* out);
// Removes trailing TAB, LF, CR and space in place.
void trim_tail(char* text);
