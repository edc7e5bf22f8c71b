// Fuzzes the reset-time arithmetic: random text and random clock readings, plus well-formed
// date-times checked against the C library's own calendar arithmetic.
#include <fuzzer/FuzzedDataProvider.h>

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <string>

#include "fuzz/fuzz_support.h"
#include "quota/reset_time.h"

namespace {

// The label must say what the seconds say: "due" for 0, the band's format for the rest.
void check_agreement(const reset_fields& r)
{
    FUZZ_CHECK(is_terminated(r.label, sizeof r.label));
    std::string_view label = r.label;
    if (r.seconds_left == -1) {
        FUZZ_CHECK(label.empty() && r.hours_left == -1.0);
        return;
    }
    FUZZ_CHECK(r.seconds_left >= 0);
    if (r.seconds_left == 0) {
        FUZZ_CHECK(label == "due" && r.hours_left == 0.0);
        return;
    }
    long long d = r.seconds_left;
    FUZZ_CHECK(r.hours_left == static_cast<double>(d) / 3600.0);
    char expected[64];
    if (d >= 86400)
        std::snprintf(expected, sizeof expected, "%lldd %lldh", d / 86400, d % 86400 / 3600);
    else if (d >= 3600)
        std::snprintf(expected, sizeof expected, "%lldh %02lldm", d / 3600, d % 3600 / 60);
    else
        std::snprintf(expected, sizeof expected, "%lldm", d < 60 ? 1LL : d / 60);
    FUZZ_CHECK(label == expected);
}

// A date-time in the tool's form, and when it falls, from timegm.
void check_against_calendar(FuzzedDataProvider& in, std::int64_t now)
{
    std::tm parts{};
    parts.tm_year = in.ConsumeIntegralInRange<int>(-5000, 12000) - 1900;
    parts.tm_mon = in.ConsumeIntegralInRange<int>(1, 12) - 1;
    parts.tm_mday = in.ConsumeIntegralInRange<int>(1, 31);
    parts.tm_hour = in.ConsumeIntegralInRange<int>(0, 23);
    parts.tm_min = in.ConsumeIntegralInRange<int>(0, 59);
    parts.tm_sec = in.ConsumeIntegralInRange<int>(0, 60);
    int zone_hours = in.ConsumeIntegralInRange<int>(0, 23);
    int zone_minutes = in.ConsumeIntegralInRange<int>(0, 59);
    int zone_kind = in.ConsumeIntegralInRange<int>(0, 3);  // none, "Z", "+hh:mm", "-hh:mm"
    bool fraction = in.ConsumeBool();

    char text[96];
    int n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%s",
                          parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                          parts.tm_min, parts.tm_sec, fraction ? ".250" : "");
    std::int64_t offset = 0;
    if (zone_kind == 1)
        std::snprintf(text + n, sizeof text - n, "Z");
    if (zone_kind >= 2) {
        std::snprintf(text + n, sizeof text - n, "%c%02d:%02d", zone_kind == 2 ? '+' : '-',
                      zone_hours, zone_minutes);
        offset = (zone_kind == 2 ? -1 : 1) * (zone_hours * 3600LL + zone_minutes * 60LL);
    }
    // A negative year prints its own minus sign, which the date's scan reads as the sign.
    std::int64_t when = static_cast<std::int64_t>(timegm(&parts)) + offset;
    reset_fields r;
    compute_reset_fields(text, now, r);
    check_agreement(r);
    std::int64_t d = 0;
    if (__builtin_sub_overflow(when, now, &d)) {
        FUZZ_CHECK(r.seconds_left == -1);
        return;
    }
    if (r.seconds_left != (d <= 0 ? 0 : d)) {
        std::fprintf(stderr, "%s at now %" PRId64 ": %" PRId64 " seconds, expected %" PRId64 "\n",
                     text, now, r.seconds_left, d);
        FUZZ_CHECK(false);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    std::int64_t now = in.ConsumeBool() ? 1748779200 + in.ConsumeIntegralInRange<int>(-100000000, 100000000)
                                        : in.ConsumeIntegral<std::int64_t>();
    if (in.ConsumeBool()) {
        check_against_calendar(in, now);
        return 0;
    }
    std::string text = in.ConsumeRemainingBytesAsString();
    text_block exact = exact_text(text.substr(0, text.find('\0')));
    reset_fields r;
    std::memset(&r, 0x5a, sizeof r);
    compute_reset_fields(exact.get(), now, r);
    check_agreement(r);
    compute_reset_fields(nullptr, now, r);
    FUZZ_CHECK(r.seconds_left == -1 && r.label[0] == '\0');
    return 0;
}
