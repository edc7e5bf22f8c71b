// Where the two files are found, and whole-file reads with their size limit.
#include "accounts/file_locations.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "tests/support/test_support.h"

namespace {

struct locations {
    std::string accounts;
    std::string selected;
};

locations locate()
{
    char accounts[path_capacity];
    char selected[path_capacity];
    accounts_path(accounts);
    selected_path(selected);
    return {accounts, selected};
}

std::string joined(std::initializer_list<const char*> parts)
{
    std::string path;
    for (const char* part : parts) {
        if (!path.empty())
            path += platform_path_separator();
        path += part;
    }
    return path;
}

}  // namespace

TEST(FileLocations, FirstUsableVariableDecides)
{
    std::string profile = joined({"/home/op", ".config", "google-accounts",
                                  "antigravity_accounts.json"});
    std::string profile_dir = joined({"/home/op", ".config", "google-accounts", ""});
    struct row {
        const char* name;
        const char* accounts_file;
        const char* creds;
        const char* home;
        const char* selected_file;
        std::string accounts;
        std::string selected;
    } rows[] = {
        {"accounts file", "/srv/a.json", "/x/y.json", "/home/op", nullptr, "/srv/a.json",
         "/srv/selected_account.txt"},
        {"empty accounts file falls through", "", "/x/y.json", nullptr, nullptr, "/x/y.json",
         "/x/selected_account.txt"},
        {"home only", nullptr, nullptr, "/home/op", nullptr, profile,
         profile_dir + "selected_account.txt"},
        {"nothing", nullptr, nullptr, nullptr, nullptr, "antigravity_accounts.json",
         "selected_account.txt"},
        {"bare name", "accounts.json", nullptr, nullptr, nullptr, "accounts.json",
         "selected_account.txt"},
        {"selected file wins", "/srv/a.json", nullptr, nullptr, "/etc/sel", "/srv/a.json",
         "/etc/sel"},
        {"empty selected file falls through", "/srv/a.json", nullptr, nullptr, "", "/srv/a.json",
         "/srv/selected_account.txt"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        env_scope env{{"GOOGLE_ACCOUNTS_FILE", r.accounts_file},
                      {"ANTIGRAVITY_CREDS_PATH", r.creds},
                      {"USERPROFILE", nullptr},
                      {"HOME", r.home},
                      {"GOOGLE_SELECTED_FILE", r.selected_file}};
        locations found = locate();
        EXPECT_EQ(found.accounts, r.accounts);
        EXPECT_EQ(found.selected, r.selected);
    }
}

TEST(FileLocations, ProfileOutranksHomeAndLongValuesAreCut)
{
    std::string long_profile(1000, 'p');
    env_scope env{{"GOOGLE_ACCOUNTS_FILE", nullptr},
                  {"ANTIGRAVITY_CREDS_PATH", nullptr},
                  {"USERPROFILE", long_profile.c_str()},
                  {"HOME", "/home/op"},
                  {"GOOGLE_SELECTED_FILE", nullptr}};
    locations found = locate();
    ASSERT_EQ(found.accounts.size(), 1023u);
    EXPECT_EQ(found.accounts.substr(0, 1000), long_profile);

    std::string long_file(1500, 'f');
    env_scope file{{"GOOGLE_ACCOUNTS_FILE", long_file.c_str()}};
    EXPECT_EQ(locate().accounts, long_file.substr(0, 1023));
}

TEST(ReadFile, ReadsWholeFilesUpToFourMebibytes)
{
    scoped_temp_dir dir;
    std::string path = dir.file("f");
    write_text(path, "");
    file_text empty = read_file(path.c_str());
    ASSERT_TRUE(empty);
    EXPECT_STREQ(empty.get(), "");

    write_text(path, std::string("a\r\nb\0c", 6));
    file_text bytes = read_file(path.c_str());
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::string(bytes.get(), 7), std::string("a\r\nb\0c\0", 7));

    write_text(path, std::string(file_read_max, 'x'));
    EXPECT_TRUE(read_file(path.c_str()));
    write_text(path, std::string(file_read_max + 1, 'x'));
    EXPECT_FALSE(read_file(path.c_str()));

    EXPECT_FALSE(read_file(dir.file("missing").c_str()));
    EXPECT_FALSE(read_file(""));
    EXPECT_FALSE(read_file(nullptr));
    EXPECT_FALSE(read_file(dir.path.string().c_str())) << "a directory is no file";
}
