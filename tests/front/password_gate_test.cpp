// The password gate: where a candidate may come from and how exactly it must match.
#include "front/password_gate.h"

#include <gtest/gtest.h>

TEST(GateAdmits, AcceptsTheRightPasswordFromAnyPlace)
{
    struct row {
        const char* name;
        const char* password;
        const char* header;
        const char* authorization;
        const char* query;
        bool admitted;
    } rows[] = {
        {"no password set", nullptr, nullptr, nullptr, "", true},
        {"empty password set", "", nullptr, nullptr, "", true},
        {"nothing offered", "s3cret", nullptr, nullptr, "", false},
        {"header", "s3cret", "s3cret", nullptr, "", true},
        {"header wrong case", "s3cret", "S3cret", nullptr, "", false},
        {"header with trailing space", "s3cret", "s3cret ", nullptr, "", false},
        {"bearer", "s3cret", nullptr, "Bearer s3cret", "", true},
        {"bearer spaced and lower case", "s3cret", nullptr, "  bearer   s3cret", "", true},
        {"bearer upper case", "s3cret", nullptr, "BEARER s3cret", "", true},
        {"bearer with tab", "s3cret", nullptr, "Bearer\ts3cret", "", false},
        {"bearer trailing space", "s3cret", nullptr, "Bearer s3cret ", "", false},
        {"basic scheme", "s3cret", nullptr, "Basic s3cret", "", false},
        {"bearer only", "s3cret", nullptr, "Bearer", "", false},
        {"query", "s3cret", nullptr, nullptr, "a=1&pwd=s3cret", true},
        {"query encoded", "a b+c", nullptr, nullptr, "pwd=a+b%2Bc", true},
        {"query plus is space", "a+b", nullptr, nullptr, "pwd=a+b", false},
        {"wrong header right query", "s3cret", "nope", nullptr, "pwd=s3cret", true},
        {"wrong bearer right query", "s3cret", nullptr, "Bearer x", "pwd=s3cret", true},
        {"query prefix only", "s3cret", nullptr, nullptr, "pwd=s3cre", false},
        {"query longer", "s3cret", nullptr, nullptr, "pwd=s3crets", false},
        {"absent query", "s3cret", nullptr, nullptr, nullptr, false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(gate_admits(r.password, r.header, r.authorization, r.query), r.admitted);
    }
}

TEST(GateAdmits, QueryPasswordIsReadFromItsFirst255Bytes)
{
    std::string long_password(300, 'p');
    std::string query = "pwd=" + long_password;
    EXPECT_FALSE(gate_admits(long_password.c_str(), nullptr, nullptr, query.c_str()));
    EXPECT_TRUE(gate_admits(long_password.c_str(), long_password.c_str(), nullptr, query.c_str()));
    std::string fits(255, 'p');
    std::string fitting_query = "pwd=" + fits;
    EXPECT_TRUE(gate_admits(fits.c_str(), nullptr, nullptr, fitting_query.c_str()));
}

TEST(SecretEquals, IsExactEquality)
{
    EXPECT_TRUE(secret_equals("abc", "abc"));
    EXPECT_FALSE(secret_equals("abc", "abd"));
    EXPECT_FALSE(secret_equals("abc", "ab"));
    EXPECT_FALSE(secret_equals("abc", "abcabc"));
    EXPECT_FALSE(secret_equals("abc", ""));
    EXPECT_TRUE(secret_equals("", ""));
    EXPECT_FALSE(secret_equals("", "x"));
}
