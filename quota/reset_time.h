// Time left until a quota resets, worked out from the tool's date-time text by integer arithmetic.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t reset_label_capacity = 32;

// seconds_left and hours_left are -1 and the label empty when the text cannot be read; a reset
// in the past is "due" with both counts 0.
struct reset_fields {
    std::int64_t seconds_left;
    double hours_left;
    char label[reset_label_capacity];
};

// Reads "Y-M-DTh:m:s" with an optional zone ("Z", "+hh:mm", "-hh:mm"; none means UTC) and
// measures it against now (seconds since 1970-01-01T00:00:00Z). Every output is written.
void compute_reset_fields(const char* reset_text, std::int64_t now, reset_fields& out);
