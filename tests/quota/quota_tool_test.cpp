// Running the quota tool: selection, availability, quoting, environment, output cap, exit codes
// and the time limit, with the stand-in tool as the child.
#include "quota/quota_tool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "front/output.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"

namespace {

struct standin_case {
    scoped_temp_dir answers;
    std::string log = answers.file("calls.log");
    env_scope env{{"BRELVANE_STANDIN_DIR", answers.path.string().c_str()},
                  {"BRELVANE_STANDIN_LOG", log.c_str()},
                  {"BRELVANE_TIMEOUT", nullptr}};

    void answer(const std::string& email, const std::string& json, const std::string& behave = "")
    {
        write_text(answers.file(email + ".json"), json);
        if (!behave.empty())
            write_text(answers.file(email + ".behave"), behave);
    }
};

}  // namespace

TEST(QuotaBin, EnvironmentOrDefault)
{
    env_scope unset{{"BRELVANE_BIN", nullptr}};
    EXPECT_STREQ(quota_bin(), "norvanta-brelvane");
    env_scope set{{"BRELVANE_BIN", "/opt/tool"}};
    EXPECT_STREQ(quota_bin(), "/opt/tool");
}

TEST(BinAvailable, PathsAreTestedAndBareNamesSearched)
{
    scoped_temp_dir dir;
    std::string plain = dir.file("plain");
    write_text(plain, "data");
    env_scope env{{"PATH", dir.path.string().c_str()}};
    EXPECT_EQ(bin_available(STANDIN_EXE), 1);
    EXPECT_EQ(bin_available(dir.path.string().c_str()), 0) << "a directory";
    EXPECT_EQ(bin_available(dir.file("missing").c_str()), 0);
    EXPECT_EQ(bin_available("no-such-tool-anywhere"), 0);
    EXPECT_EQ(bin_available(""), 0);
    EXPECT_EQ(bin_available(nullptr), 0);
}

TEST(ShellQuoteInto, QuotesAndCutsWithinTheCapacity)
{
    struct row {
        const char* source;
        std::size_t capacity;
        const char* expected;
    } rows[] = {
        {"a@x", 272, "\"a@x\""},
        {nullptr, 272, "\"\""},
        {"say \"hi\"", 272, "\"say \\\"hi\\\"\""},
        {"abcdef", 5, "\"ab\""},
        {"ab\"cd", 6, "\"ab\""},  // the quote needs two places; copying stops for good
        {"", 3, "\"\""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.expected);
        char out[300];
        std::memset(out, 'Z', sizeof out);
        shell_quote_into(r.source, out, r.capacity);
        EXPECT_STREQ(out, r.expected);
        EXPECT_EQ(out[r.capacity], 'Z');
    }
    char out[600];
    std::string long_name(600, 'n');
    shell_quote_into(long_name.c_str(), out, 512);
    EXPECT_EQ(std::string(out), "\"" + std::string(509, 'n') + "\"");
}

TEST(RunQuotaOne, PassesTheAccountAndPreparedEnvironment)
{
    standin_case c;
    c.answer("a.b+c@x", "{\"ok\":true,\"buckets\":[]}\n");
    env_scope env{{"GOOGLE_ACCESS_TOKEN", "secret"}, {"ACTIVE_PROFILE", "p"},
                  {"GOOGLE_TOKEN_SOURCE", "remote"}};
    quota_tool_environment("/srv/accounts.json");
    buf out;
    quota_run run = run_quota_one(STANDIN_EXE, "a.b+c@x", out);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(out.view(), "{\"ok\":true,\"buckets\":[]}\n");
    EXPECT_EQ(read_text(c.log),
              "{\"argv\":[\"--account\",\"a.b+c@x\",\"--json\"],\"env\":{\"ACTIVE_PROFILE\":null,"
              "\"GOOGLE_ACCESS_TOKEN\":null,\"GOOGLE_REMOTE_URL\":null,\"GOOGLE_PROJECT_ID\":null,"
              "\"GOOGLE_ACCOUNT\":null,\"GOOGLE_TOKEN_SOURCE\":\"local\","
              "\"GOOGLE_ACCOUNTS_FILE\":\"/srv/accounts.json\"}}\n");
}

TEST(RunQuotaOne, MapsExitStatuses)
{
    standin_case c;
    struct row {
        const char* email;
        const char* behave;
        int result;
    } rows[] = {
        {"zero@x", "", 1},
        {"three@x", "exit 3\n", 0},
        {"missing@x", "exit 127\n", -1},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.email);
        c.answer(r.email, "{\"ok\":true}", r.behave);
        buf out;
        EXPECT_EQ(run_quota_one(STANDIN_EXE, r.email, out).result, r.result);
        EXPECT_EQ(out.view(), "{\"ok\":true}") << "output is kept whatever the status";
    }
}

TEST(RunQuotaOne, RefusesUnsafeInputWithoutRunningAnything)
{
    standin_case c;
    buf out;
    EXPECT_EQ(run_quota_one(STANDIN_EXE, "a@x\"; touch pwned; \"", out).result, 0);
    EXPECT_EQ(run_quota_one("", "a@x", out).result, 0);
    EXPECT_EQ(run_quota_one(nullptr, "a@x", out).result, 0);
    EXPECT_EQ(read_text(c.log), "<missing>");
    scoped_temp_dir empty;
    EXPECT_EQ(run_quota_one(empty.file("absent-tool").c_str(), "a@x", out).result, -1);
    EXPECT_EQ(out.length, 0u);
}

TEST(RunQuotaOne, KeepsWholePiecesUpToTheOutputLimit)
{
    standin_case c;
    // "{}\n" then spaces: pieces of 3 bytes, then 2,047 each, then the remainder.
    c.answer("exact@x", "{}\n", "size 524288\n");
    c.answer("over@x", "{}\n", "size 524289\n");
    buf exact;
    EXPECT_EQ(run_quota_one(STANDIN_EXE, "exact@x", exact).result, 1);
    EXPECT_EQ(exact.length, quota_output_max);
    buf over;
    run_quota_one(STANDIN_EXE, "over@x", over);
    std::size_t last_piece = (524289 - 3) % 2047;
    EXPECT_EQ(over.length, 524289 - last_piece);
}

TEST(RunQuotaOne, EndsAToolThatHangs)
{
    standin_case c;
    env_scope limit{{"BRELVANE_TIMEOUT", "1"}};
    for (const char* behaviour : {"hang\n", "orphan\n", "close_early\n"}) {
        SCOPED_TRACE(behaviour);
        c.answer("slow@x", "{\"ok\":true}\n", behaviour);
        buf out;
        auto start = std::chrono::steady_clock::now();
        quota_run run = run_quota_one(STANDIN_EXE, "slow@x", out);
        auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
        EXPECT_TRUE(run.timed_out);
        EXPECT_EQ(run.result, 0);
        EXPECT_EQ(run.timeout_seconds, 1);
        EXPECT_LT(seconds.count(), 5.0);
    }
}

TEST(RunQuotaOne, TimeLimitComesFromTheEnvironment)
{
    standin_case c;
    c.answer("a@x", "{}");
    struct row {
        const char* value;
        int seconds;
    } rows[] = {{nullptr, 60}, {"", 60}, {"5", 5}, {"3600", 3600}, {"3601", 60},
                {"0", 60},     {"-4", 60}, {"2s", 60}, {"99999999999999999999", 60}};
    for (const row& r : rows) {
        SCOPED_TRACE(r.value ? r.value : "unset");
        env_scope env{{"BRELVANE_TIMEOUT", r.value}};
        buf out;
        EXPECT_EQ(run_quota_one(STANDIN_EXE, "a@x", out).timeout_seconds, r.seconds);
    }
}
