// Tests of the quota report: the JSON writers, the best account per pool, and the action's
// answers that need no tool run.
#include "quota/action_quota.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "front/output.h"
#include "platform/platform.h"
#include "quota/quota_output.h"
#include "quota/quota_tool.h"
#include "tests/support/test_support.h"

namespace {

constexpr std::int64_t noon = 1748779200;  // 2025-06-01T12:00:00Z
constexpr const char* empty_pool =
    "{\"pct\":-1,\"exhausted\":false,\"reset_time\":\"\",\"reset_in_seconds\":-1,"
    "\"reset_in_hours\":-1.00,\"reset_remaining\":\"\",\"count\":0}";
constexpr const char* no_limits =
    ",\"limits\":{\"gemini\":{\"five_hour\":null,\"weekly\":null},"
    "\"claude\":{\"five_hour\":null,\"weekly\":null}}";
constexpr const char* head =
    "{\"ok\":true,\"plugin\":\"plugin_brelvane\",\"version\":\"1.0.3\",\"selected\":";
constexpr const char* missing_tool_envelope =
    "Status: 200 OK\r\n"
    "Content-Type: application/json; charset=utf-8\r\n"
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n\r\n"
    "{\"ok\":false,\"error\":\"cli_unavailable\",\"detail\":\"norvanta-brelvane was not found on "
    "PATH; install NORVANTA CODE or set BRELVANE_BIN\"}\n";

std::string text_of(const buf& b) { return std::string(b.view()); }

account make_account(const char* email, int selected, int has_refresh)
{
    account a{};
    std::snprintf(a.email, sizeof a.email, "%s", email);
    a.selected = selected;
    a.has_refresh = has_refresh;
    return a;
}

std::unique_ptr<acct_quota> parsed(std::string_view answer, quota_run run = {1, false, 0})
{
    buf output;
    EXPECT_EQ(buf_add(output, answer.data(), answer.size()), 1);
    auto record = std::make_unique<acct_quota>();
    parse_quota_output(output, run, *record);
    return record;
}

pool make_pool(int present, double pct, int exhausted, const char* reset_time, int count)
{
    pool p{};
    p.present = present;
    p.pct = pct;
    p.exhausted = exhausted;
    std::snprintf(p.reset_time, sizeof p.reset_time, "%s", reset_time);
    p.count = count;
    return p;
}

TEST(EmitPoolJson, WritesEveryState)
{
    struct row {
        const char* name;
        pool p;
        const char* expected;
    };
    const row rows[] = {
        {"not present", make_pool(0, -1, 0, "", 0), empty_pool},
        {"not present whatever it holds", make_pool(0, 50, 1, "2025-06-01T13:00:00Z", 4),
         empty_pool},
        {"counting down", make_pool(1, 62.5, 0, "2025-06-01T14:00:00Z", 2),
         "{\"pct\":62.50,\"exhausted\":false,\"reset_time\":\"2025-06-01T14:00:00Z\","
         "\"reset_in_seconds\":7200,\"reset_in_hours\":2.00,\"reset_remaining\":\"2h 00m\","
         "\"count\":2}"},
        {"halfway rounds to even, no reset time", make_pool(1, 12.125, 1, "", 3),
         "{\"pct\":12.12,\"exhausted\":true,\"reset_time\":\"\",\"reset_in_seconds\":-1,"
         "\"reset_in_hours\":-1.00,\"reset_remaining\":\"\",\"count\":3}"},
        {"full and due", make_pool(1, 100, 0, "2025-06-01T11:00:00Z", 1),
         "{\"pct\":100.00,\"exhausted\":false,\"reset_time\":\"2025-06-01T11:00:00Z\","
         "\"reset_in_seconds\":0,\"reset_in_hours\":0.00,\"reset_remaining\":\"due\",\"count\":1}"},
        {"empty and unreadable reset time", make_pool(1, 0, 1, "next \"week\"", 1),
         "{\"pct\":0.00,\"exhausted\":true,\"reset_time\":\"next \\\"week\\\"\","
         "\"reset_in_seconds\":-1,\"reset_in_hours\":-1.00,\"reset_remaining\":\"\",\"count\":1}"},
        {"rounding up", make_pool(1, 0.375, 0, "2025-06-03T13:30:00Z", 1),
         "{\"pct\":0.38,\"exhausted\":false,\"reset_time\":\"2025-06-03T13:30:00Z\","
         "\"reset_in_seconds\":178200,\"reset_in_hours\":49.50,\"reset_remaining\":\"2d 1h\","
         "\"count\":1}"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        buf out;
        emit_pool_json(out, r.p, noon);
        EXPECT_EQ(text_of(out), r.expected);
    }
}

TEST(EmitWindowLimitJson, WritesEveryState)
{
    window_limit absent{};
    window_limit filled{};
    filled.present = 1;
    std::snprintf(filled.bucket_id, sizeof filled.bucket_id, "3p-5h");
    filled.pct = 30;
    std::snprintf(filled.reset_time, sizeof filled.reset_time, "2025-06-01T13:15:00Z");
    window_limit odd = filled;
    std::snprintf(odd.bucket_id, sizeof odd.bucket_id, "a\nb\\c");
    odd.exhausted = 1;
    odd.pct = 0;
    odd.reset_time[0] = '\0';
    struct row {
        const char* name;
        const window_limit& limit;
        const char* expected;
    };
    const row rows[] = {
        {"not present", absent, "null"},
        {"filled", filled,
         "{\"bucket_id\":\"3p-5h\",\"pct\":30.00,\"exhausted\":false,"
         "\"reset_time\":\"2025-06-01T13:15:00Z\",\"reset_in_seconds\":4500,"
         "\"reset_in_hours\":1.25,\"reset_remaining\":\"1h 15m\"}"},
        {"escaped id, no reset time", odd,
         "{\"bucket_id\":\"a\\nb\\\\c\",\"pct\":0.00,\"exhausted\":true,\"reset_time\":\"\","
         "\"reset_in_seconds\":-1,\"reset_in_hours\":-1.00,\"reset_remaining\":\"\"}"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        buf out;
        emit_window_limit_json(out, r.limit, noon);
        EXPECT_EQ(text_of(out), r.expected);
    }
}

TEST(EmitAcctQuotaJson, FailedAccounts)
{
    struct row {
        const char* name;
        const char* answer;
        quota_run run;
        const char* expected_tail;
    };
    const row rows[] = {
        {"tool's own error",
         "{\"ok\":false,\"error\":\"token expired\"}",
         {1, false, 0},
         ",\"error\":\"token expired\"}"},
        {"nothing printed", "", {0, false, 0}, ",\"error\":\"quota_fetch_failed\"}"},
        {"answer without buckets keeps its project to itself",
         "{\"ok\":true,\"project\":\"p\"}",
         {1, false, 0},
         ",\"error\":\"missing_buckets\"}"},
        {"tool missing",
         "",
         {-1, false, 0},
         ",\"error\":\"cli_unavailable\",\"detail\":\"norvanta-brelvane was not found on PATH; "
         "install NORVANTA CODE or set BRELVANE_BIN\"}"},
        {"time limit passed",
         "{\"ok\":tr",
         {0, true, 60},
         ",\"error\":\"quota_timeout\",\"detail\":\"the quota tool gave no answer within 60 s\"}"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        auto record = parsed(r.answer, r.run);
        buf out;
        emit_acct_quota_json(out, make_account("c@x.io", 0, 1), *record, noon);
        EXPECT_EQ(text_of(out),
                  std::string("{\"email\":\"c@x.io\",\"selected\":false,\"has_refresh\":true,"
                              "\"ok\":false") +
                      r.expected_tail);
    }
}

TEST(EmitAcctQuotaJson, EmptyErrorFallsBackToFetchFailed)
{
    acct_quota record{};
    buf out;
    emit_acct_quota_json(out, make_account("d@x.io", 1, 0), record, noon);
    EXPECT_EQ(text_of(out),
              "{\"email\":\"d@x.io\",\"selected\":true,\"has_refresh\":false,"
              "\"ok\":false,\"error\":\"quota_fetch_failed\"}");
}

TEST(EmitAcctQuotaJson, FullAnswer)
{
    auto record = parsed(read_text(std::string(FIXTURE_DIR) + "/quota/fixtures/full_answer.json"));
    ASSERT_EQ(record->ok, 1);
    buf out;
    emit_acct_quota_json(out, make_account("a@x.io", 1, 0), *record, noon);
    const char* expected =
        "{\"email\":\"a@x.io\",\"selected\":true,\"has_refresh\":false,\"ok\":true,"
        "\"project\":\"quiet-harbor-42817\","
        "\"gemini\":{\"pct\":62.50,\"exhausted\":false,\"reset_time\":\"2025-06-01T14:00:00Z\","
        "\"reset_in_seconds\":7200,\"reset_in_hours\":2.00,\"reset_remaining\":\"2h 00m\","
        "\"count\":2},"
        "\"argon\":{\"pct\":40.00,\"exhausted\":false,\"reset_time\":\"2025-06-02T00:00:00Z\","
        "\"reset_in_seconds\":43200,\"reset_in_hours\":12.00,\"reset_remaining\":\"12h 00m\","
        "\"count\":1},"
        "\"claude\":{\"pct\":75.00,\"exhausted\":false,\"reset_time\":\"2025-06-01T15:05:00Z\","
        "\"reset_in_seconds\":11100,\"reset_in_hours\":3.08,\"reset_remaining\":\"3h 05m\","
        "\"count\":2},"
        "\"limits\":{\"gemini\":{"
        "\"five_hour\":{\"bucket_id\":\"gemini-5h\",\"pct\":80.00,\"exhausted\":false,"
        "\"reset_time\":\"2025-06-01T16:00:00Z\",\"reset_in_seconds\":14400,"
        "\"reset_in_hours\":4.00,\"reset_remaining\":\"4h 00m\"},"
        "\"weekly\":{\"bucket_id\":\"gemini-weekly\",\"pct\":55.00,\"exhausted\":false,"
        "\"reset_time\":\"2025-06-06T00:00:00Z\",\"reset_in_seconds\":388800,"
        "\"reset_in_hours\":108.00,\"reset_remaining\":\"4d 12h\"}},"
        "\"claude\":{"
        "\"five_hour\":{\"bucket_id\":\"3p-5h\",\"pct\":30.00,\"exhausted\":false,"
        "\"reset_time\":\"2025-06-01T13:15:00Z\",\"reset_in_seconds\":4500,"
        "\"reset_in_hours\":1.25,\"reset_remaining\":\"1h 15m\"},"
        "\"weekly\":{\"bucket_id\":\"3p-weekly\",\"pct\":90.00,\"exhausted\":false,"
        "\"reset_time\":\"2025-06-07T12:00:00Z\",\"reset_in_seconds\":518400,"
        "\"reset_in_hours\":144.00,\"reset_remaining\":\"6d 0h\"}}},"
        "\"models\":["
        "{\"id\":\"gemini-2.5-pro\",\"pool\":\"gemini\",\"pct\":62.50,\"exhausted\":false,"
        "\"reset_time\":\"2025-06-01T17:30:00Z\",\"reset_in_seconds\":19800,"
        "\"reset_in_hours\":5.50,\"reset_remaining\":\"5h 30m\"},"
        "{\"id\":\"gemini-2.5-flash\",\"pool\":\"gemini\",\"pct\":90.00,\"exhausted\":false,"
        "\"reset_time\":\"2025-06-01T14:00:00Z\",\"reset_in_seconds\":7200,"
        "\"reset_in_hours\":2.00,\"reset_remaining\":\"2h 00m\"},"
        "{\"id\":\"gemini-4-argon-preview\",\"pool\":\"argon\",\"pct\":40.00,\"exhausted\":false,"
        "\"reset_time\":\"2025-06-02T00:00:00Z\",\"reset_in_seconds\":43200,"
        "\"reset_in_hours\":12.00,\"reset_remaining\":\"12h 00m\"},"
        "{\"id\":\"claude-sonnet-4-5\",\"pool\":\"claude\",\"pct\":75.00,\"exhausted\":false,"
        "\"reset_time\":\"2025-06-01T15:05:00Z\",\"reset_in_seconds\":11100,"
        "\"reset_in_hours\":3.08,\"reset_remaining\":\"3h 05m\"},"
        "{\"id\":\"claude-opus-4-1\",\"pool\":\"claude\",\"pct\":100.00,\"exhausted\":false,"
        "\"reset_time\":\"2025-06-03T08:00:00Z\",\"reset_in_seconds\":158400,"
        "\"reset_in_hours\":44.00,\"reset_remaining\":\"1d 20h\"},"
        "{\"id\":\"gpt-oss-120b\",\"pool\":\"other\",\"pct\":50.00,\"exhausted\":false,"
        "\"reset_time\":\"2025-06-01T13:00:00Z\",\"reset_in_seconds\":3600,"
        "\"reset_in_hours\":1.00,\"reset_remaining\":\"1h 00m\"}"
        "]}";
    EXPECT_EQ(text_of(out), expected);
}

TEST(EmitAcctQuotaJson, EmptyBucketListAndRowsWithoutResetTime)
{
    auto empty = parsed("{\"ok\":true,\"buckets\":[]}");
    buf out;
    emit_acct_quota_json(out, make_account("e@x.io", 0, 0), *empty, noon);
    EXPECT_EQ(text_of(out), std::string("{\"email\":\"e@x.io\",\"selected\":false,"
                                        "\"has_refresh\":false,\"ok\":true,\"project\":\"\","
                                        "\"gemini\":") +
                                empty_pool + ",\"argon\":" + empty_pool +
                                ",\"claude\":" + empty_pool + no_limits + ",\"models\":[]}");

    auto rows = parsed(
        "{\"ok\":true,\"buckets\":[{\"modelId\":\"x-1\",\"remainingFraction\":1},"
        "{\"modelId\":\"x-2\",\"remainingFraction\":0.5,\"resetTime\":\"later\"}]}");
    buf models;
    emit_acct_quota_json(models, make_account("e@x.io", 0, 0), *rows, noon);
    std::string text = text_of(models);
    EXPECT_NE(text.find(",\"models\":[{\"id\":\"x-1\",\"pool\":\"other\",\"pct\":100.00,"
                        "\"exhausted\":false,\"reset_time\":\"\",\"reset_in_seconds\":-1,"
                        "\"reset_in_hours\":-1.00,\"reset_remaining\":\"\"},"
                        "{\"id\":\"x-2\",\"pool\":\"other\",\"pct\":50.00,\"exhausted\":false,"
                        "\"reset_time\":\"later\",\"reset_in_seconds\":-1,"
                        "\"reset_in_hours\":-1.00,\"reset_remaining\":\"\"}]}"),
              std::string::npos)
        << text;
}

TEST(EmitAcctQuotaJson, CountdownsFollowTheClockReading)
{
    auto record = parsed(
        "{\"ok\":true,\"buckets\":[{\"modelId\":\"gemini-a\","
        "\"remainingFraction\":0.5,\"resetTime\":\"2025-06-01T13:00:00Z\"}]}");
    buf early;
    buf late;
    emit_acct_quota_json(early, make_account("a@x.io", 0, 0), *record, noon);
    emit_acct_quota_json(late, make_account("a@x.io", 0, 0), *record, noon + 3000);
    EXPECT_NE(text_of(early).find("\"reset_in_seconds\":3600,\"reset_in_hours\":1.00,"
                                  "\"reset_remaining\":\"1h 00m\",\"count\":1}"),
              std::string::npos);
    EXPECT_NE(text_of(late).find("\"reset_in_seconds\":600,\"reset_in_hours\":0.17,"
                                 "\"reset_remaining\":\"10m\",\"count\":1}"),
              std::string::npos);
}

struct pool_setup {
    int present;
    double pct;
    int exhausted;
};
constexpr pool_setup none{0, -1, 0};

struct account_setup {
    const char* email;
    int ok;
    pool_setup gemini, argon, claude;
};

TEST(ChooseBestAccounts, PicksTheMostQuotaLeft)
{
    struct row {
        const char* name;
        std::vector<account_setup> accounts;
        const char* gemini;
        const char* argon;
        const char* claude;
    };
    const row rows[] = {
        {"no accounts", {}, "", "", ""},
        {"a tie keeps the earlier account",
         {{"a@x.io", 1, {1, 62.5, 0}, none, none}, {"b@x.io", 1, {1, 62.5, 0}, none, none}},
         "a@x.io",
         "",
         ""},
        {"a strictly higher later account wins",
         {{"a@x.io", 1, {1, 40, 0}, none, none}, {"b@x.io", 1, {1, 70, 0}, none, none}},
         "b@x.io",
         "",
         ""},
        {"an exhausted pool is never chosen, even alone",
         {{"a@x.io", 1, {1, 50, 1}, none, none}},
         "",
         "",
         ""},
        {"an exhausted pool with more left loses to a lower one",
         {{"a@x.io", 1, {1, 90, 1}, none, none}, {"b@x.io", 1, {1, 20, 0}, none, none}},
         "b@x.io",
         "",
         ""},
        {"a failed run is never chosen",
         {{"a@x.io", 0, {1, 90, 0}, {1, 90, 0}, {1, 90, 0}}, {"b@x.io", 1, {1, 10, 0}, none, none}},
         "b@x.io",
         "",
         ""},
        {"an account without the pool is passed over",
         {{"a@x.io", 1, none, {1, 80, 0}, none}, {"b@x.io", 1, {1, 5, 0}, none, none}},
         "b@x.io",
         "a@x.io",
         ""},
        {"each pool on its own",
         {{"a@x.io", 1, {1, 90, 0}, none, {1, 10, 0}},
          {"b@x.io", 1, {1, 10, 0}, none, {1, 90, 0}},
          {"c@x.io", 1, {1, 50, 0}, {1, 1, 0}, {1, 50, 0}}},
         "a@x.io",
         "c@x.io",
         "b@x.io"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        std::vector<account> table;
        std::vector<acct_quota> records(r.accounts.size());
        for (std::size_t i = 0; i < r.accounts.size(); ++i) {
            const account_setup& setup = r.accounts[i];
            table.push_back(make_account(setup.email, 0, 0));
            records[i].ok = setup.ok;
            records[i].gemini =
                make_pool(setup.gemini.present, setup.gemini.pct, setup.gemini.exhausted, "", 1);
            records[i].argon =
                make_pool(setup.argon.present, setup.argon.pct, setup.argon.exhausted, "", 1);
            records[i].claude =
                make_pool(setup.claude.present, setup.claude.pct, setup.claude.exhausted, "", 1);
        }
        best_accounts best{};
        choose_best_accounts(table, records, best);
        EXPECT_STREQ(best.gemini, r.gemini);
        EXPECT_STREQ(best.argon, r.argon);
        EXPECT_STREQ(best.claude, r.claude);
    }
}

TEST(QuotaDocument, AllAccounts)
{
    account table[] = {make_account("a@x.io", 1, 1), make_account("b@x.io", 0, 0),
                       make_account("c@x.io", 0, 1)};
    // Reset times long past, so the countdowns do not depend on the clock.
    auto a = parsed(
        "{\"ok\":true,\"project\":\"pa\",\"buckets\":[{\"modelId\":\"gemini-a\","
        "\"remainingFraction\":0.625,\"resetTime\":\"2001-01-01T00:00:00Z\"}]}");
    auto b = parsed(
        "{\"ok\":true,\"project\":\"pb\",\"buckets\":[{\"modelId\":\"gemini-b\","
        "\"remainingFraction\":0.625},{\"modelId\":\"claude-b\",\"remainingFraction\":0.5}]}");
    auto c = parsed("{\"ok\":false,\"error\":\"token expired\"}");
    std::vector<acct_quota> records = {*a, *b, *c};

    buf out;
    emit_quota_document_all(out, table, records, "a@x.io");
    std::string due_gemini =
        "{\"pct\":62.50,\"exhausted\":false,\"reset_time\":\"2001-01-01T00:00:00Z\","
        "\"reset_in_seconds\":0,\"reset_in_hours\":0.00,\"reset_remaining\":\"due\",\"count\":1}";
    std::string no_reset =
        "\"reset_time\":\"\",\"reset_in_seconds\":-1,\"reset_in_hours\":-1.00,"
        "\"reset_remaining\":\"\"";
    std::string expected =
        std::string(head) +
        "\"a@x.io\",\"best_gemini\":\"a@x.io\",\"best_argon\":\"\","
        "\"best_claude\":\"b@x.io\",\"count\":3,\"accounts\":[" +
        "{\"email\":\"a@x.io\",\"selected\":true,\"has_refresh\":true,\"ok\":true,"
        "\"project\":\"pa\",\"gemini\":" +
        due_gemini + ",\"argon\":" + empty_pool + ",\"claude\":" + empty_pool + no_limits +
        ",\"models\":[{\"id\":\"gemini-a\",\"pool\":\"gemini\",\"pct\":62.50,\"exhausted\":false,"
        "\"reset_time\":\"2001-01-01T00:00:00Z\",\"reset_in_seconds\":0,\"reset_in_hours\":0.00,"
        "\"reset_remaining\":\"due\"}]},"
        "{\"email\":\"b@x.io\",\"selected\":false,\"has_refresh\":false,\"ok\":true,"
        "\"project\":\"pb\",\"gemini\":{\"pct\":62.50,\"exhausted\":false," +
        no_reset + ",\"count\":1},\"argon\":" + empty_pool +
        ",\"claude\":{\"pct\":50.00,\"exhausted\":false," + no_reset + ",\"count\":1}" + no_limits +
        ",\"models\":[{\"id\":\"gemini-b\",\"pool\":\"gemini\",\"pct\":62.50,\"exhausted\":false," +
        no_reset + "},{\"id\":\"claude-b\",\"pool\":\"claude\",\"pct\":50.00,\"exhausted\":false," +
        no_reset +
        "}]},"
        "{\"email\":\"c@x.io\",\"selected\":false,\"has_refresh\":true,\"ok\":false,"
        "\"error\":\"token expired\"}"
        "]}\n";
    EXPECT_EQ(text_of(out), expected);
}

TEST(QuotaDocument, NoAccounts)
{
    struct row {
        const char* name;
        const char* selected;
        const char* expected_selected;
    };
    const row rows[] = {
        {"nothing selected", "", "\"\""},
        {"a selection outside the table", "z@x.io", "\"z@x.io\""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        buf out;
        emit_quota_document_all(out, {}, {}, r.selected);
        EXPECT_EQ(text_of(out),
                  std::string(head) + r.expected_selected +
                      ",\"best_gemini\":\"\",\"best_argon\":\"\",\"best_claude\":\"\","
                      "\"count\":0,\"accounts\":[]}\n");
    }
}

TEST(QuotaDocument, OneAccount)
{
    auto failed = parsed("{\"ok\":false,\"error\":\"token expired\"}");
    buf out;
    emit_quota_document_one(out, "", make_account("b@x.io", 0, 1), *failed, noon);
    EXPECT_EQ(text_of(out),
              std::string(head) +
                  "\"\",\"account\":{\"email\":\"b@x.io\",\"selected\":false,"
                  "\"has_refresh\":true,\"ok\":false,\"error\":\"token expired\"}}\n");
}

// The action's answers that are settled before any tool runs, captured from standard output.
struct action_result {
    int status;
    std::string out;
};

action_result run_action(const char* account_text)
{
    ::testing::internal::CaptureStdout();
    int status = action_quota(account_text);
    return {status, ::testing::internal::GetCapturedStdout()};
}

struct quota_request_env {
    scoped_temp_dir dir;
    std::string accounts = dir.file("accounts.json");
    std::string selected = dir.file("selected.txt");
    env_scope env{{"GOOGLE_ACCOUNTS_FILE", accounts.c_str()},
                  {"GOOGLE_SELECTED_FILE", selected.c_str()},
                  {"BRELVANE_BIN", dir.file("no-such-tool").c_str()},
                  {"ACTIVE_PROFILE", "work"},
                  {"GOOGLE_TOKEN_SOURCE", nullptr},
                  {"GOOGLE_ACCESS_TOKEN", nullptr},
                  {"GOOGLE_REMOTE_URL", nullptr},
                  {"GOOGLE_PROJECT_ID", nullptr},
                  {"GOOGLE_ACCOUNT", nullptr}};
};

TEST(ActionQuota, NoAccountsAnswersWithoutTheTool)
{
    quota_request_env request;
    write_text(request.selected, "a@x.io\n");
    action_result result = run_action("");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, std::string(json_header_block) + head +
                              "\"a@x.io\",\"best_gemini\":\"\",\"best_argon\":\"\","
                              "\"best_claude\":\"\",\"count\":0,\"accounts\":[]}\n");
}

TEST(ActionQuota, UnknownAccount)
{
    struct row {
        const char* name;
        const char* accounts_file;
        const char* account_text;
    };
    const row rows[] = {
        {"empty table", "[]", "a@x.io"},
        {"not in the table", "[{\"email\":\"a@x.io\"}]", "A@x.io"},
        {"not even an address", "[{\"email\":\"a@x.io\"}]", "<a \"x\">"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        quota_request_env request;
        write_text(request.accounts, r.accounts_file);
        action_result result = run_action(r.account_text);
        buf detail;
        buf_json(detail, r.account_text);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "Status: 404 Not Found\r\n" + std::string(json_header_block) +
                                  "{\"ok\":false,\"error\":\"unknown_account\",\"detail\":" +
                                  text_of(detail) + "}\n");
        // The tool's environment is prepared before the account is looked at.
        EXPECT_STREQ(platform_getenv("GOOGLE_TOKEN_SOURCE"), "local");
        EXPECT_STREQ(platform_getenv("GOOGLE_ACCOUNTS_FILE"), request.accounts.c_str());
        EXPECT_EQ(platform_getenv("ACTIVE_PROFILE"), nullptr);
    }
}

TEST(ActionQuota, MissingToolAnswersWithTheEnvelope)
{
    const char* account_texts[] = {"b@x.io", ""};
    for (const char* account_text : account_texts) {
        SCOPED_TRACE(account_text);
        quota_request_env request;
        write_text(request.accounts, "[{\"email\":\"a@x.io\"},{\"email\":\"b@x.io\"}]");
        action_result result = run_action(account_text);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, missing_tool_envelope);
    }
}

}  // namespace
