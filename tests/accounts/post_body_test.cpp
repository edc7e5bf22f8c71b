// Taking the account out of a posted JSON body.
#include "accounts/post_body.h"

#include <gtest/gtest.h>

#include <string>

TEST(AccountFromBody, PrefersAccountThenEmail)
{
    struct row {
        const char* body;
        const char* account;
    } rows[] = {
        {"{\"account\":\"a@x\",\"email\":\"b@x\"}", "a@x"},
        {"{\"account\":null,\"email\":\"b@x\"}", "b@x"},
        {"{\"email\":\"b@x\"}", "b@x"},
        {"{\"account\":\"\",\"email\":\"b@x\"}", ""},
        {"{\"account\":123}", "123"},
        {"account=a%40x", ""},
        {"{\"data\":{\"account\":\"a@x\"}}", ""},
        {"", ""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.body);
        char account[account_text_capacity] = "";
        account_from_body(r.body, std::string(r.body).size(), account);
        EXPECT_STREQ(account, r.account);
    }
}

TEST(AccountFromBody, LooksOnlyAtTheGivenLength)
{
    std::string body = "{\"x\":1}{\"account\":\"a@x\"}";
    char account[account_text_capacity] = "";
    account_from_body(body.c_str(), 7, account);
    EXPECT_STREQ(account, "");
}
