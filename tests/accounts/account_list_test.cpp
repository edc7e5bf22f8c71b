// The account table and the e-mail rule: what enters, in which order, marked how.
#include "accounts/account_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

struct entry {
    std::string email;
    int has_refresh;
    int selected;
    bool operator==(const entry&) const = default;
};

std::vector<entry> parse(const std::string& text, const char* selected = "")
{
    account table[accounts_max];
    int count = parse_accounts(text.c_str(), selected, table);
    std::vector<entry> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back({table[i].email, table[i].has_refresh, table[i].selected});
    return entries;
}

}  // namespace

TEST(IsSafeEmail, AcceptsOnlyThePlainAddressAlphabet)
{
    std::string max_length = std::string(254, 'a') + "@";
    std::string too_long = std::string(255, 'a') + "@";
    struct row {
        std::string text;
        int expected;
    } rows[] = {
        {"first.last+tag@example-mail.co_uk", 1},
        {max_length, 1},
        {"@", 1},
        {"a@@b", 1},
        {"a b@x", 0},
        {"a\"b@x", 0},
        {"a%b@x", 0},
        {"caf\xc3\xa9@x", 0},
        {"no-at-sign", 0},
        {too_long, 0},
        {"", 0},
        {"a@b;rm", 0},
        {"a@b$(x)", 0},
        {"a@b\n", 0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(is_safe_email(r.text.c_str()), r.expected);
    }
    EXPECT_EQ(is_safe_email(nullptr), 0);
}

TEST(ParseAccounts, KeepsFirstAppearanceAndMergesRefreshTokens)
{
    auto entries = parse(R"([
      {"email":"a@x","refresh_token":""},
      {"email":"b@x","refresh_token":"tok"},
      {"email":"a@x","refresh_token":"later"},
      {"email":"b@x"},
      {"email":"A@x","refresh_token":null},
      {"email":"c@x","refresh_token":42}
    ])",
                         "A@x");
    std::vector<entry> expected = {
        {"a@x", 1, 0}, {"b@x", 1, 0}, {"A@x", 0, 1}, {"c@x", 1, 0}};
    EXPECT_EQ(entries, expected);
}

TEST(ParseAccounts, SkipsUnusableAddressesWithoutUsingPlaces)
{
    auto entries = parse(R"([{"email":null},{"x":1},{"email":""},{"email":"a b@x"},
      {"email":"a,b@x"},{"email":"ok@x","profile":{"email":"nested@x"}}])");
    std::vector<entry> expected = {{"ok@x", 0, 0}};
    EXPECT_EQ(entries, expected);
}

TEST(ParseAccounts, WrapperObjectHidesItsArray)
{
    EXPECT_TRUE(parse(R"({"accounts":[{"email":"a@x"}]})").empty());
    auto entries = parse(R"({"email":"outer@x","accounts":[{"email":"a@x"}]})");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].email, "outer@x");
}

TEST(ParseAccounts, CutsLongAddressesAndStopsAtSixtyFour)
{
    std::string long_address = "u@" + std::string(298, 'd');
    auto cut = parse("[{\"email\":\"" + long_address + "\"}]");
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].email, long_address.substr(0, 255));

    std::string text = "[";
    for (int i = 0; i < 70; ++i)
        text += "{\"email\":\"user" + std::to_string(i) + "@x\"},";
    text += "{\"email\":\"user0@x\",\"refresh_token\":\"late\"}]";
    auto many = parse(text);
    ASSERT_EQ(many.size(), 64u);
    EXPECT_EQ(many.front().email, "user0@x");
    EXPECT_EQ(many.back().email, "user63@x");
    EXPECT_EQ(many.front().has_refresh, 0) << "objects after the 64th are not read";
}

TEST(ParseAccounts, ToleratesBrokenText)
{
    for (const char* text : {"", "[", "{", "[{\"email\":\"a@x\"", "}{", "[{\"email\":\"a@x\\"}) {
        SCOPED_TRACE(text);
        auto entries = parse(text);
        EXPECT_LE(entries.size(), 1u);
    }
    account table[accounts_max];
    EXPECT_EQ(parse_accounts(nullptr, "", table), 0);
}

TEST(ParseSelected, TakesOneSafeAddressWithTrailingWhitespaceOnly)
{
    struct row {
        const char* content;
        const char* selected;
    } rows[] = {
        {"a@x\r\n", "a@x"}, {"a@x", "a@x"},         {" a@x", ""},
        {"\xef\xbb\xbf" "a@x", ""}, {"a@x\nb@x\n", ""}, {"", ""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.content);
        std::string content = r.content;
        char selected[selected_text_capacity] = "stale";
        parse_selected(content.data(), selected);
        EXPECT_STREQ(selected, r.selected);
    }
}

TEST(LoadAccounts, ReadsBothFilesFromTheEnvironment)
{
    scoped_temp_dir dir;
    std::string accounts = dir.file("accounts.json");
    std::string selected_file = dir.file("selected.txt");
    env_scope env{{"GOOGLE_ACCOUNTS_FILE", accounts.c_str()},
                  {"GOOGLE_SELECTED_FILE", selected_file.c_str()}};
    account table[accounts_max];
    char selected[selected_text_capacity];

    write_text(selected_file, "b@x\n");
    EXPECT_EQ(load_accounts(table, selected), 0) << "no accounts file";
    EXPECT_STREQ(selected, "b@x");

    write_text(accounts, R"([{"email":"a@x"},{"email":"b@x","refresh_token":"t"}])");
    ASSERT_EQ(load_accounts(table, selected), 2);
    EXPECT_EQ(table[0].selected, 0);
    EXPECT_EQ(table[1].selected, 1);
    EXPECT_EQ(table[1].has_refresh, 1);

    write_text(selected_file, "missing@x\n");
    ASSERT_EQ(load_accounts(table, selected), 2);
    EXPECT_STREQ(selected, "missing@x");
    EXPECT_EQ(table[0].selected + table[1].selected, 0);
}
