// Reset countdowns: the tool's date-time text turned into seconds, hours and a short label.
#include "quota/reset_time.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::int64_t seconds_per_minute = 60;
constexpr std::int64_t seconds_per_hour = 3600;
constexpr std::int64_t seconds_per_day = 86400;
// The largest magnitude an int can hold, that of INT_MIN.
constexpr std::int64_t int_magnitude_max = 2147483648LL;

bool is_scan_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool match(const char*& p, char c)
{
    if (*p != c)
        return false;
    ++p;
    return true;
}

// Reads one integer the way scanf's "%d" (or "%2d" with a width) does: white space skipped,
// an optional sign, digits; the width counts the sign. Where scanf would leave a value too
// large for an int undefined, this refuses it, so such a field fails like a missing one.
bool scan_int(const char*& p, int width, int& out)
{
    const char* q = p;
    while (is_scan_space(*q))
        ++q;
    const char* limit = width > 0 ? q + width : nullptr;
    auto room = [&] { return limit == nullptr || q < limit; };
    bool negative = false;
    if (*q == '+' || *q == '-')
        negative = *q++ == '-';
    std::int64_t magnitude = 0;
    const char* digits = q;
    while (room() && is_digit(*q)) {
        if (magnitude <= int_magnitude_max)
            magnitude = magnitude * 10 + (*q - '0');
        ++q;
    }
    if (q == digits || magnitude > int_magnitude_max - (negative ? 0 : 1))
        return false;
    out = static_cast<int>(negative ? -magnitude : magnitude);
    p = q;
    return true;
}

struct civil_time {
    int year, month, day, hour, minute, second;
};

// The "%d-%d-%dT%d:%d:%d" scan: all six numbers, in range, or false.
bool scan_civil(const char* text, civil_time& out)
{
    int* fields[] = {&out.year, &out.month, &out.day, &out.hour, &out.minute, &out.second};
    constexpr char separators[] = "--T::";
    const char* p = text;
    for (int i = 0; i < 6; ++i) {
        if (i > 0 && !match(p, separators[i - 1]))
            return false;
        if (!scan_int(p, 0, *fields[i]))
            return false;
    }
    return out.month >= 1 && out.month <= 12 && out.day >= 1 && out.day <= 31 && out.hour >= 0 &&
           out.hour <= 23 && out.minute >= 0 && out.minute <= 59 && out.second >= 0 &&
           out.second <= 60;
}

// Days since 1970-01-01 in the proleptic Gregorian calendar, counting years from 1 March in
// 400-year eras. The year is an int, so every step stays far inside 64 bits.
std::int64_t days_from_civil(std::int64_t year, std::int64_t month, std::int64_t day)
{
    std::int64_t y = month <= 2 ? year - 1 : year;
    std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    std::int64_t yoe = y - era * 400;
    std::int64_t mp = month >= 3 ? month - 3 : month + 9;
    std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// Seconds to add to a local time to reach UTC. Only a numeric offset after the "T" counts; its
// minutes need the colon, and "%2d" limits each part to two characters.
std::int64_t zone_correction(const char* text)
{
    const char* zone = std::strpbrk(std::strchr(text, 'T'), "Z+-");
    if (zone == nullptr || *zone == 'Z')
        return 0;
    const char* p = zone + 1;
    int hours = 0;
    int minutes = 0;
    if (!scan_int(p, 2, hours))
        return 0;
    if (match(p, ':'))
        (void)scan_int(p, 2, minutes);
    std::int64_t offset = hours * seconds_per_hour + minutes * seconds_per_minute;
    return *zone == '+' ? -offset : offset;
}

// Appends the number's decimal digits, two at least when padded, and the unit letter.
char* put_count(char* at, long long value, bool padded, char unit)
{
    if (padded && value < 10)
        *at++ = '0';
    at = std::to_chars(at, at + 20, value).ptr;
    *at++ = unit;
    return at;
}

// "2d 4h", "3h 05m" or "7m": written by hand, since a large document formats one per row.
void write_label(std::int64_t d, char (&label)[reset_label_capacity])
{
    long long left = d;
    char* at = label;
    if (left >= seconds_per_day) {
        at = put_count(at, left / seconds_per_day, false, 'd');
        *at++ = ' ';
        at = put_count(at, left % seconds_per_day / seconds_per_hour, false, 'h');
    } else if (left >= seconds_per_hour) {
        at = put_count(at, left / seconds_per_hour, false, 'h');
        *at++ = ' ';
        at = put_count(at, left % seconds_per_hour / seconds_per_minute, true, 'm');
    } else {
        at = put_count(at, left < seconds_per_minute ? 1 : left / seconds_per_minute, false, 'm');
    }
    *at = '\0';
}

}  // namespace

void compute_reset_fields(const char* reset_text, std::int64_t now, reset_fields& out)
{
    out.seconds_left = -1;
    out.hours_left = -1.0;
    out.label[0] = '\0';
    civil_time c{};
    if (reset_text == nullptr || reset_text[0] == '\0' || !scan_civil(reset_text, c))
        return;
    std::int64_t t = days_from_civil(c.year, c.month, c.day) * seconds_per_day +
                     c.hour * seconds_per_hour + c.minute * seconds_per_minute + c.second +
                     zone_correction(reset_text);
    std::int64_t d = 0;
    // Only a clock reading near the ends of the 64-bit range could overflow; no countdown then.
    if (__builtin_sub_overflow(t, now, &d))
        return;
    if (d <= 0) {
        out.seconds_left = 0;
        out.hours_left = 0.0;
        std::snprintf(out.label, sizeof out.label, "due");
        return;
    }
    out.seconds_left = d;
    out.hours_left = static_cast<double>(d) / 3600.0;
    write_label(d, out.label);
}
