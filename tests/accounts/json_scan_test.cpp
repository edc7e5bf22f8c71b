// The in-place JSON scanner: value skipping, top-level key lookup and the field readers.
#include "accounts/json_scan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// What json_skip_value leaves after the value, or "<none>".
std::string rest_after(const char* text)
{
    const char* end = json_skip_value(text);
    return end ? std::string(end) : "<none>";
}

std::string str_field(const std::string& text, const char* key, std::size_t capacity = 64,
                      int* result = nullptr)
{
    char out[300] = "untouched";
    int r = json_str_field(text.c_str(), text.c_str() + text.size(), key, out, capacity);
    if (result)
        *result = r;
    return out;
}

}  // namespace

TEST(JsonSkipValue, EndsEachKindOfValue)
{
    struct row {
        const char* name;
        const char* text;
        const char* rest;
    } rows[] = {
        {"string after space", "  \"ab\" ,x", " ,x"},
        {"escaped quote", "\"a\\\"b\"x", "x"},
        {"array holding bracket in string", "[{\"a\":\"]\"}],1", ",1"},
        {"mixed kinds pair", "[}x", "x"},
        {"nested", "{\"a\":[1,{\"b\":2}]} tail", " tail"},
        {"number before comma", "123,4", ",4"},
        {"comma itself", ",4", ",4"},
        {"closer itself", "]", "]"},
        {"scalar ends at space", "true false", " false"},
        {"colon does not end scalar", "ab:cd,", ","},
        {"only whitespace", " \t\r\n", "<none>"},
        {"empty", "", "<none>"},
        {"unterminated string", "\"abc", ""},
        {"unterminated array", "[1,[2", ""},
        {"backslash before end", "\"ab\\", ""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(rest_after(r.text), r.rest);
    }
    EXPECT_EQ(json_skip_value(nullptr), nullptr);
}

TEST(JsonReadStringAt, UnescapesOnlyTheSimpleEscapes)
{
    struct row {
        const char* text;
        std::size_t capacity;
        const char* value;
        const char* rest;
    } rows[] = {
        {"\"a\\nb\\rc\\td\"x", 64, "a\nb\rc\td", "x"},
        {"\"\\\"\\\\\\/\"", 64, "\"\\/", ""},
        {"\"\\b\\f\\u00e9\"", 64, "bfu00e9", ""},
        {"\"abcdefghijkl\"!", 8, "abcdefg", "!"},
        {"\"unterminated", 64, "unterminated", ""},
        {"\"ends in backslash\\", 64, "ends in backslash\\", ""},
        {"\"\"", 64, "", ""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.text);
        const char* cursor = r.text;
        char out[64];
        ASSERT_EQ(json_read_string_at(&cursor, out, r.capacity), 1);
        EXPECT_STREQ(out, r.value);
        EXPECT_STREQ(cursor, r.rest);
    }
    const char* cursor = "abc";
    char out[4] = "xyz";
    EXPECT_EQ(json_read_string_at(&cursor, out, sizeof out), 0);
    EXPECT_STREQ(out, "xyz");
}

TEST(JsonFindKey, MatchesOnlyTopLevelKeys)
{
    struct row {
        const char* name;
        const char* text;
        const char* value;  // what the found position starts with, or null for none
    } rows[] = {
        {"nested first, top-level second", "{\"a\":{\"email\":\"in\"},\"email\":\"top\"}",
         "\"top\"}"},
        {"value spelling the key", "{\"k\":\"email\"}", nullptr},
        {"inside array element", "[{\"email\":\"x\"}]", nullptr},
        {"no brace at start", "\"email\": 5}", "5}"},
        {"colon then only whitespace", "{\"email\":   ", nullptr},
        {"escaped letter in key", "{\"em\\u0061il\":1}", nullptr},
        {"bracket inside string", "{\"a\":\"[{\",\"email\":2}", "2}"},
        {"spaces around colon", "{ \"email\" \t: \"x\"}", "\"x\"}"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        const char* found = json_find_key(r.text, r.text + std::strlen(r.text), "email");
        if (r.value == nullptr)
            EXPECT_EQ(found, nullptr);
        else
            EXPECT_STREQ(found, r.value);
    }
}

TEST(JsonFindKey, StopsAtTheGivenEnd)
{
    const char* text = "{\"a\":1}{\"email\":2}";
    EXPECT_EQ(json_find_key(text, text + 7, "email"), nullptr);
    EXPECT_EQ(json_find_key(text, text, "email"), nullptr);
    // Beyond the first object's end a later object's members match again.
    EXPECT_STREQ(json_find_key(text, text + std::strlen(text), "email"), "2}");
}

TEST(JsonStrField, ReadsStringsAndBareValues)
{
    struct row {
        const char* name;
        std::string text;
        std::size_t capacity;
        int result;
        const char* value;
    } rows[] = {
        {"string", "{\"k\":\"v\"}", 64, 1, "v"},
        {"null leaves output", "{\"k\":null}", 64, 0, "untouched"},
        {"bare n-word leaves output", "{\"k\":nope}", 64, 0, "untouched"},
        {"missing leaves output", "{\"j\":1}", 64, 0, "untouched"},
        {"empty string", "{\"k\":\"\"}", 64, 1, ""},
        {"only whitespace", "{\"k\":   ,\"j\":1}", 64, 0, ""},
        {"true", "{\"k\":true}", 64, 1, "true"},
        {"number with spaces", "{\"k\": 42 ,\"j\":1}", 64, 1, "42"},
        {"nested object", "{\"k\":{\"a\":1,\"b\":2}}", 64, 1, "{\"a\":1"},
        {"array", "{\"k\":[1,2]}", 64, 1, "[1"},
        {"cut string", "{\"k\":\"abcdefghijkl\"}", 8, 1, "abcdefg"},
        {"cut bare value", "{\"k\":123456789}", 4, 1, "123"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        int result = -1;
        EXPECT_EQ(str_field(r.text, "k", r.capacity, &result), r.value);
        EXPECT_EQ(result, r.result);
    }
}

TEST(JsonDoubleField, ConvertsOnlyNumbers)
{
    struct row {
        const char* text;
        int result;
        double value;
    } rows[] = {
        {"{\"f\":-0.5}", 1, -0.5}, {"{\"f\":.25}", 1, 0.25}, {"{\"f\":1e-3}", 1, 0.001},
        {"{\"f\":\"0.5\"}", 0, 9}, {"{\"f\":+1}", 0, 9},      {"{\"f\":null}", 0, 9},
        {"{\"f\":true}", 0, 9},    {"{\"f\":-}", 0, 9},       {"{}", 0, 9},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.text);
        double out = 9;
        EXPECT_EQ(json_double_field(r.text, r.text + std::strlen(r.text), "f", &out), r.result);
        EXPECT_EQ(out, r.value);
    }
}

TEST(TrimTail, RemovesOnlyJsonWhitespace)
{
    char text[] = "ab \r\n\t";
    trim_tail(text);
    EXPECT_STREQ(text, "ab");
    char kept[] = "ab\v\f";
    trim_tail(kept);
    EXPECT_STREQ(kept, "ab\v\f");
    char all[] = " \t";
    trim_tail(all);
    EXPECT_STREQ(all, "");
    trim_tail(nullptr);
}
