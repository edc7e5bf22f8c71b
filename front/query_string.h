// Reads parameters straight out of the raw query text, without building a table.
#pragma once

#include <cstddef>

// 1 when a segment names the parameter: the name alone, or followed by "=" or "&".
int query_has(const char* query, const char* name);
// Copies at most capacity - 1 raw bytes of the first "name=" value into out, then decodes
// them in place ("%XX" and "+"). Returns 1 when such a segment exists; out is always
// terminated, and empty when 0 is returned. The capacity must be at least 2.
int get_query_val(const char* query, const char* name, char* out, std::size_t capacity);
