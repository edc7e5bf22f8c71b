// The response buffer's growth and ceiling, formatted appends and the JSON string encoder.
#include "front/output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

TEST(BufAdd, EmptyAppendCreatesNoBlock)
{
    buf b;
    EXPECT_EQ(buf_add(b, "x", 0), 1);
    EXPECT_EQ(buf_add(b, nullptr, 5), 1);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.capacity, 0u);
    EXPECT_EQ(b.view(), "");
    EXPECT_FALSE(b.failed);
}

TEST(BufAdd, GrowsByDoublingFromOneKibibyte)
{
    buf b;
    ASSERT_EQ(buf_add(b, "a", 1), 1);
    EXPECT_EQ(b.capacity, 1024u);
    std::string filler(1022, 'b');
    ASSERT_EQ(buf_add(b, filler.data(), filler.size()), 1);  // need = 1,024
    EXPECT_EQ(b.capacity, 1024u);
    ASSERT_EQ(buf_add(b, "c", 1), 1);  // need = 1,025
    EXPECT_EQ(b.capacity, 2048u);
    EXPECT_EQ(b.length, 1024u);
    EXPECT_EQ(b.data[b.length], '\0');
}

TEST(BufAdd, RefusesBeyondSixtyFourMebibytesAndKeepsItsText)
{
    buf b;
    std::vector<char> big(40u << 20, 'x');
    ASSERT_EQ(buf_add(b, big.data(), big.size()), 1);
    EXPECT_EQ(b.capacity, 64u << 20);
    char* block = b.data;
    std::vector<char> more(30u << 20, 'y');
    EXPECT_EQ(buf_add(b, more.data(), more.size()), 0);
    EXPECT_EQ(b.data, block);
    EXPECT_EQ(b.length, big.size());
    EXPECT_EQ(b.capacity, 64u << 20);
    EXPECT_EQ(b.data[b.length], '\0');
    EXPECT_TRUE(b.failed) << "a refused append marks the text as incomplete";
    std::size_t room = (64u << 20) - 1 - big.size();
    EXPECT_EQ(buf_add(b, more.data(), room), 1);
    EXPECT_EQ(buf_add(b, "z", 1), 0);
}

TEST(BufAddf, LongResultsAreAppendedWhole)
{
    for (std::size_t n : {std::size_t{0}, std::size_t{2047}, std::size_t{2048}, std::size_t{10000}}) {
        SCOPED_TRACE(n);
        std::string text(n, 'q');
        buf b;
        ASSERT_EQ(buf_addf(b, "<%s>", text.c_str()), 1);
        EXPECT_EQ(b.view(), "<" + text + ">");
    }
    buf b;
    ASSERT_EQ(buf_addf(b, "%.2f|%.2f|%lld|%02lld", 12.125, 0.375, -5LL, 7LL), 1);
    EXPECT_EQ(b.view(), "12.12|0.38|-5|07");
}

TEST(BufJson, EscapesExactlyTheReservedAndControlBytes)
{
    struct row {
        const char* name;
        std::string input;
        std::string expected;
    } rows[] = {
        {"plain", "abc", "\"abc\""},
        {"quote backslash slash", "a\"b\\c/d", "\"a\\\"b\\\\c/d\""},
        {"short escapes", "\n\r\t", "\"\\n\\r\\t\""},
        {"control bytes", "\x01\x08\x0b\x0c\x1b\x1f", "\"\\u0001\\u0008\\u000b\\u000c\\u001b\\u001f\""},
        {"del and utf-8 pass", "\x7f\xc3\xa9\xff", "\"\x7f\xc3\xa9\xff\""},
        {"empty", "", "\"\""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        buf b;
        ASSERT_EQ(buf_json(b, r.input.c_str()), 1);
        EXPECT_EQ(b.view(), r.expected);
    }
    buf absent;
    ASSERT_EQ(buf_json(absent, nullptr), 1);
    EXPECT_EQ(absent.view(), "\"\"");
}

TEST(BufAddNumbers, MatchThePrintfFormats)
{
    const double values[] = {0.0,     -0.0,    12.125, 0.375,   0.005,     0.015,  1.005,
                             62.5,    100.0,   -1.0,   99.995,  1e300,     -1e-300, 2.675,
                             1234.565, 5e-324, 1e22,   0.125,   33.333333, -0.005};
    for (double v : values) {
        SCOPED_TRACE(v);
        char expected[400];
        std::snprintf(expected, sizeof expected, "%.2f", v);
        buf b;
        ASSERT_EQ(buf_add_fixed2(b, v), 1);
        EXPECT_EQ(b.view(), expected);
    }
    for (long long v : {0LL, -1LL, 42LL, 9223372036854775807LL, -9223372036854775807LL - 1}) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%lld", v);
        buf b;
        ASSERT_EQ(buf_add_int(b, v), 1);
        EXPECT_EQ(b.view(), expected);
    }
}
