// Tests of the reset-time arithmetic: instants, range checks, zones, labels and huge fields.
#include "quota/reset_time.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

reset_fields compute(const char* text, std::int64_t now)
{
    reset_fields out;
    // Stale values, so that an output the function forgets to write shows up.
    out.seconds_left = 12345;
    out.hours_left = 12.0;
    out.label[0] = 'x';
    out.label[1] = '\0';
    compute_reset_fields(text, now, out);
    return out;
}

void expect_failure(const reset_fields& out)
{
    EXPECT_EQ(out.seconds_left, -1);
    EXPECT_EQ(out.hours_left, -1.0);
    EXPECT_STREQ(out.label, "");
}

// Measured one second before the expected instant, a correct reading leaves exactly 1 s.
void expect_instant(const char* text, std::int64_t instant)
{
    reset_fields out = compute(text, instant - 1);
    EXPECT_EQ(out.seconds_left, 1);
    EXPECT_STREQ(out.label, "1m");
    EXPECT_STREQ(compute(text, instant).label, "due");
}

TEST(ResetTime, Instants)
{
    struct row {
        const char* name;
        const char* text;
        std::int64_t instant;
    };
    const row rows[] = {
        {"epoch", "1970-01-01T00:00:00Z", 0},
        {"just before the epoch", "1969-12-31T23:59:59Z", -1},
        {"start of a 400-year era", "2000-03-01T00:00:00Z", 951868800},
        {"noon in June", "2025-06-01T12:00:00Z", 1748779200},
        {"leap day", "2024-02-29T00:00:00Z", 1709164800},
        {"a century that is no leap year", "1900-03-01T00:00:00Z", -2203891200},
        {"year zero", "0000-03-01T00:00:00Z", -62162035200},
        {"negative year", "-0001-03-01T00:00:00Z", -62193657600},
        {"the thirtieth of February rolls over", "2025-02-30T00:00:00Z", 1740873600},
        {"the thirty-first of June rolls over", "2025-06-31T00:00:00Z", 1751328000},
        {"leap second", "2025-06-01T23:59:60Z", 1748822400},
        {"fraction is dropped", "2025-06-01T12:00:00.250Z", 1748779200},
        {"no zone is UTC", "2025-06-01T12:00:00", 1748779200},
        {"largest year", "2147483647-12-31T23:59:59Z", 67767976233532799},
        {"smallest year", "-2147483648-01-01T00:00:00Z", -67768100567971200},
        // Each number is read as scanf's "%d" reads it: white space and a sign before digits.
        {"leading white space", " \t2025-06-01T12:00:00Z", 1748779200},
        {"white space after a separator", "2025- 06-\n01T 12: 00:\v00Z", 1748779200},
        {"explicit signs", "+2025-+6-+1T12:-0:+0", 1748779200},
        // The zone is the first sign after the "T", even the sign of the hour.
        {"signed hour read as a zone", "2025-06-01T+12:00:00Z", 1748779200 - 12 * 3600},
        {"leading zeros", "002025-006-001T012:000:000Z", 1748779200},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        expect_instant(r.text, r.instant);
    }
}

TEST(ResetTime, Zones)
{
    constexpr std::int64_t noon = 1748779200;
    struct row {
        const char* name;
        const char* text;
        std::int64_t instant;
    };
    const row rows[] = {
        {"zulu", "2025-06-01T12:00:00Z", noon},
        {"two hours east", "2025-06-01T12:00:00+02:00", noon - 2 * 3600},
        {"two and a half hours west", "2025-06-01T12:00:00-02:30", noon + 2 * 3600 + 30 * 60},
        {"minutes need the colon", "2025-06-01T12:00:00+0530", noon - 5 * 3600},
        {"sign alone", "2025-06-01T12:00:00+", noon},
        {"sign then letters", "2025-06-01T12:00:00+ab", noon},
        {"one-digit hours", "2025-06-01T12:00:00+5:30", noon - 5 * 3600 - 30 * 60},
        {"offset not range-tested", "2025-06-01T12:00:00+99:99", noon - 99 * 3600 - 99 * 60},
        {"signed offset hours", "2025-06-01T12:00:00+-1:00", noon + 3600},
        {"white space before offset digits", "2025-06-01T12:00:00+ 3:00", noon - 3 * 3600},
        {"fraction then offset", "2025-06-01T12:00:00.5+01:00", noon - 3600},
        {"zulu before a sign", "2025-06-01T12:00:00Z+05:00", noon},
        {"zone after white space", "2025-06-01T12:00:00 -01:00", noon + 3600},
        {"three-digit offset hours read as two", "2025-06-01T12:00:00+123", noon - 12 * 3600},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        expect_instant(r.text, r.instant);
    }
}

TEST(ResetTime, Failures)
{
    const char* rows[] = {
        "",
        "2025-13-01T00:00:00Z",
        "2025-00-01T00:00:00Z",
        "2025-06-00T00:00:00Z",
        "2025-06-32T00:00:00Z",
        "2025-06-01T24:00:00Z",
        "2025-06-01T-1:00:00Z",
        "2025-06-01T12:60:00Z",
        "2025-06-01T12:00:61Z",
        "2025-06-01T12:00:-1Z",
        "2025-06-01 12:00:00Z",
        "2025-06-01t12:00:00Z",
        "2025-06-01T12:00Z",
        "2025-06-01T12:00:",
        "2025/06/01T12:00:00Z",
        "2025-06-01T12:00:+Z",
        "-",
        "soon",
        "2025 -06-01T12:00:00Z",
        // Numbers that do not fit an int fail instead of wrapping around.
        "2147483648-01-01T00:00:00Z",
        "-2147483649-01-01T00:00:00Z",
        "99999999999999999999-01-01T00:00:00Z",
        "2025-4294967302-01T00:00:00Z",
        "2025-06-4294967297T00:00:00Z",
        "2025-06-01T4294967296:00:00Z",
        "2025-06-01T12:00:4294967296Z",
    };
    for (const char* text : rows) {
        SCOPED_TRACE(text);
        expect_failure(compute(text, 0));
    }
    SCOPED_TRACE("null text");
    expect_failure(compute(nullptr, 0));
}

TEST(ResetTime, Labels)
{
    constexpr std::int64_t noon = 1748779200;
    struct row {
        std::int64_t remaining;
        std::int64_t seconds;
        const char* label;
    };
    const row rows[] = {
        {-86400, 0, "due"},
        {-1, 0, "due"},
        {0, 0, "due"},
        {1, 1, "1m"},
        {59, 59, "1m"},
        {60, 60, "1m"},
        {119, 119, "1m"},
        {120, 120, "2m"},
        {3599, 3599, "59m"},
        {3600, 3600, "1h 00m"},
        {3660, 3660, "1h 01m"},
        {7199, 7199, "1h 59m"},
        {86399, 86399, "23h 59m"},
        {86400, 86400, "1d 0h"},
        {90061, 90061, "1d 1h"},
        {10 * 86400 + 5 * 3600 + 59 * 60, 10 * 86400 + 5 * 3600 + 59 * 60, "10d 5h"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.remaining);
        reset_fields out = compute("2025-06-01T12:00:00Z", noon - r.remaining);
        EXPECT_EQ(out.seconds_left, r.seconds);
        EXPECT_EQ(out.hours_left, static_cast<double>(r.seconds) / 3600.0);
        EXPECT_STREQ(out.label, r.label);
    }
}

TEST(ResetTime, ExtremeClockReadings)
{
    reset_fields far = compute("2147483647-12-31T23:59:59Z", 0);
    EXPECT_EQ(far.seconds_left, 67767976233532799);
    EXPECT_STREQ(far.label, "784351576776d 23h");

    // The difference would not fit in 64 bits: no countdown rather than a wrapped one.
    expect_failure(compute("2025-06-01T12:00:00Z", std::numeric_limits<std::int64_t>::min()));
    reset_fields past = compute("2025-06-01T12:00:00Z", std::numeric_limits<std::int64_t>::max());
    EXPECT_STREQ(past.label, "due");
    EXPECT_STREQ(compute("-2147483648-01-01T00:00:00Z", 1748779200).label, "due");
}

}  // namespace
