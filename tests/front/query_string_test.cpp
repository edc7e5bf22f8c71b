// Query-string reader: segment matching, first-match rule, decoding and truncation.
#include "front/query_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(QueryHas, NamesOnlyWholeSegments)
{
    struct row {
        const char* query;
        const char* name;
        int expected;
    } rows[] = {
        {"action", "action", 1},         {"action=", "action", 1},
        {"action=x", "action", 1},       {"action&y=1", "action", 1},
        {"actions=1", "action", 0},      {"xaction=1", "action", 0},
        {"Action=status", "action", 0},  {"x=1&", "action", 0},
        {"&&action=quota", "action", 1}, {"", "action", 0},
        {"a=1&format", "format", 1},     {"%61ction=1", "action", 0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.query);
        EXPECT_EQ(query_has(r.query, r.name), r.expected);
    }
    EXPECT_EQ(query_has(nullptr, "action"), 0);
}

TEST(GetQueryVal, FindsFirstValueSegmentAndDecodes)
{
    struct row {
        const char* query;
        int found;
        const char* value;
    } rows[] = {
        {"a=1&action=status&action=quota", 1, "status"},
        {"action&action=quota", 1, "quota"},
        {"action", 0, ""},
        {"action=", 1, ""},
        {"Action=status", 0, ""},
        {"&&action=quota", 1, "quota"},
        {"action=a+b%20c%2b", 1, "a b c+"},
        {"action=100%", 1, "100%"},
        {"action=%zz1", 1, "%zz1"},
        {"action=%%41", 1, "%A"},
        {"action=%4", 1, "%4"},
        {"action=a=b", 1, "a=b"},
        {"action=%2B", 1, "+"},
        {"action=%2541", 1, "%41"},
        {"action=%c3%A9", 1, "\xc3\xa9"},
        {"action=x%00y", 1, "x"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.query);
        char out[64] = "garbage";
        EXPECT_EQ(get_query_val(r.query, "action", out, sizeof out), r.found);
        EXPECT_STREQ(out, r.value);
    }
}

TEST(GetQueryVal, AbsentQueryEmptiesOutput)
{
    char out[8] = "garbage";
    EXPECT_EQ(get_query_val(nullptr, "action", out, sizeof out), 0);
    EXPECT_STREQ(out, "");
}

TEST(GetQueryVal, CutsRawValueBeforeDecoding)
{
    struct row {
        const char* raw;
        std::size_t capacity;
        std::string expected;
    } rows[] = {
        {"%41BC", 4, "A"},
        {"ab%41", 4, "ab%"},
        {"abcdef", 2, "a"},
        {"0123456789012345678901234567890123456789012345678901234567890123456789", 64,
         "012345678901234567890123456789012345678901234567890123456789012"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.raw);
        std::string query = std::string("v=") + r.raw + "&w=1";
        char out[128];
        std::memset(out, 'Z', sizeof out);
        EXPECT_EQ(get_query_val(query.c_str(), "v", out, r.capacity), 1);
        EXPECT_EQ(std::string(out), r.expected);
        EXPECT_EQ(out[r.capacity], 'Z') << "wrote past the capacity";
    }
}
