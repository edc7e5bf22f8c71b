// Tests of the quota output parser: error codes, pools, model rows, windows and hostile output.
#include "quota/quota_output.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "front/output.h"
#include "quota/quota_tool.h"
#include "tests/support/test_support.h"

namespace {

constexpr quota_run ran_ok{1, false, 0};

std::unique_ptr<acct_quota> parse(std::string_view text, quota_run run = ran_ok)
{
    buf output;
    EXPECT_EQ(buf_add(output, text.data(), text.size()), 1);
    auto record = std::make_unique<acct_quota>();
    // Garbage first, so that a field the parser forgets to clear shows up.
    std::memset(record.get(), 0xAB, sizeof *record);
    parse_quota_output(output, run, *record);
    return record;
}

std::string fixture(const char* name)
{
    return read_text(std::string(FIXTURE_DIR) + "/quota/fixtures/" + name);
}

template <std::size_t N>
bool terminated(const char (&text)[N])
{
    return strnlen(text, N) < N;
}

bool percent_in_range(double pct) { return std::isfinite(pct) && pct >= 0.0 && pct <= 100.0; }

// What holds for every record, whatever the tool printed.
void expect_sane(const acct_quota& r)
{
    EXPECT_TRUE(r.ok == 0 || r.ok == 1);
    EXPECT_TRUE(r.cli_unavailable == 0 || r.cli_unavailable == 1);
    EXPECT_TRUE(terminated(r.error) && terminated(r.detail) && terminated(r.project));
    if (!r.ok) {
        EXPECT_NE(r.error[0], '\0');
    }
    for (const pool* p : {&r.gemini, &r.argon, &r.claude}) {
        EXPECT_TRUE(terminated(p->reset_time));
        if (p->present) {
            EXPECT_TRUE(percent_in_range(p->pct)) << p->pct;
        } else {
            EXPECT_EQ(p->pct, -1.0);
        }
        EXPECT_GE(p->count, 0);
    }
    for (const window_limit* w :
         {&r.gemini_five_hour, &r.gemini_weekly, &r.claude_five_hour, &r.claude_weekly}) {
        EXPECT_TRUE(terminated(w->bucket_id) && terminated(w->reset_time));
        if (w->present) {
            EXPECT_TRUE(percent_in_range(w->pct)) << w->pct;
        }
    }
    ASSERT_GE(r.model_count, 0);
    ASSERT_LE(r.model_count, models_max);
    for (int i = 0; i < r.model_count; ++i) {
        const model_entry& row = r.models[i];
        EXPECT_TRUE(terminated(row.id) && terminated(row.pool) && terminated(row.reset_time));
        EXPECT_TRUE(percent_in_range(row.pct)) << row.pct;
        std::string_view name = row.pool;
        EXPECT_TRUE(name == "gemini" || name == "argon" || name == "claude" || name == "other");
    }
}

TEST(QuotaOutput, ErrorCodes)
{
    struct row {
        const char* name;
        const char* text;
        int result;
        int ok;
        const char* error;
    };
    const row rows[] = {
        {"tool unavailable", "{\"ok\":true,\"buckets\":[]}", -1, 0, "cli_unavailable"},
        {"nothing collected", "", 1, 0, "quota_fetch_failed"},
        {"no brace at all", "fetching quota...\nno answer\n", 1, 0, "quota_fetch_failed"},
        {"failure with the tool's text", "{\"ok\":false,\"error\":\"token expired\"}", 1, 0,
         "token expired"},
        {"failure without error", "{\"ok\":false}", 1, 0, "quota_fetch_failed"},
        {"failure with null error", "{\"ok\":false,\"error\":null}", 1, 0, "quota_fetch_failed"},
        {"failure with empty error", "{\"ok\":false,\"error\":\"\"}", 1, 0, "quota_fetch_failed"},
        {"failure with a bare error", "{\"ok\":0,\"error\":42}", 1, 0, "42"},
        {"ok quoted", "{\"ok\":\"true\",\"buckets\":[]}", 1, 0, "quota_fetch_failed"},
        {"ok missing", "{\"buckets\":[]}", 1, 0, "quota_fetch_failed"},
        {"ok null", "{\"ok\":null,\"buckets\":[]}", 1, 0, "quota_fetch_failed"},
        {"ok zero", "{\"ok\":0,\"buckets\":[]}", 1, 0, "quota_fetch_failed"},
        {"ok only nested", "{\"data\":{\"ok\":true},\"buckets\":[]}", 1, 0, "quota_fetch_failed"},
        {"ok true", "{\"ok\":true,\"buckets\":[]}", 1, 1, ""},
        {"ok one", "{\"ok\":1,\"buckets\":[]}", 1, 1, ""},
        {"ok one point zero", "{\"ok\":1.0,\"buckets\":[]}", 1, 1, ""},
        {"ok ten", "{\"ok\":10,\"buckets\":[]}", 1, 1, ""},
        {"failed exit with an answer", "{\"ok\":true,\"buckets\":[]}", 0, 1, ""},
        {"buckets missing", "{\"ok\":true}", 1, 0, "missing_buckets"},
        {"buckets an object", "{\"ok\":true,\"buckets\":{}}", 1, 0, "missing_buckets"},
        {"buckets null", "{\"ok\":true,\"buckets\":null}", 1, 0, "missing_buckets"},
        {"buckets nested only", "{\"ok\":true,\"data\":{\"buckets\":[]}}", 1, 0, "missing_buckets"},
        {"buckets a string", "{\"ok\":true,\"buckets\":\"[]\"}", 1, 0, "missing_buckets"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        auto record = parse(r.text, {r.result, false, 0});
        expect_sane(*record);
        EXPECT_EQ(record->ok, r.ok);
        EXPECT_STREQ(record->error, r.error);
        EXPECT_EQ(record->cli_unavailable, r.result == -1 ? 1 : 0);
        EXPECT_STREQ(record->detail, "");
    }
}

TEST(QuotaOutput, ClearsRecordBeforeParsing)
{
    auto record = parse("");
    EXPECT_EQ(record->ok, 0);
    EXPECT_STREQ(record->project, "");
    EXPECT_EQ(record->model_count, 0);
    for (const pool* p : {&record->gemini, &record->argon, &record->claude}) {
        EXPECT_EQ(p->present, 0);
        EXPECT_EQ(p->pct, -1.0);
        EXPECT_EQ(p->exhausted, 0);
        EXPECT_EQ(p->count, 0);
        EXPECT_STREQ(p->reset_time, "");
    }
    EXPECT_EQ(record->gemini_weekly.present, 0);
    EXPECT_EQ(record->claude_five_hour.pct, 0.0);
}

TEST(QuotaOutput, TimedOutRunCarriesDetail)
{
    // Whatever the tool printed before it was stopped is not trusted as an answer.
    auto record = parse("{\"ok\":true,\"buckets\":[]}", {0, true, 7});
    EXPECT_EQ(record->ok, 0);
    EXPECT_EQ(record->cli_unavailable, 0);
    EXPECT_STREQ(record->error, "quota_timeout");
    EXPECT_STREQ(record->detail, "the quota tool gave no answer within 7 s");

    record = parse("", {0, true, 3600});
    EXPECT_STREQ(record->detail, "the quota tool gave no answer within 3600 s");
}

TEST(QuotaOutput, LongErrorAndProjectAreCut)
{
    std::string error(100, 'e');
    std::string project(300, 'p');
    auto failed = parse("{\"ok\":false,\"error\":\"" + error + "\"}");
    EXPECT_EQ(std::string(failed->error), error.substr(0, 63));
    auto fine = parse("{\"ok\":true,\"project\":\"" + project + "\",\"buckets\":[]}");
    EXPECT_EQ(std::string(fine->project), project.substr(0, 255));
}

TEST(QuotaOutput, FindsTheAnswerObject)
{
    struct row {
        const char* name;
        const char* text;
        int ok;
        const char* project;
    };
    const row rows[] = {
        {"log lines first",
         "progress 10%\nprogress 100%\n{\"ok\":true,\"project\":\"p1\",\"buckets\":[]}\n", 1, "p1"},
        {"braces in a log line before the answer line",
         "[info] {cached}\n{\"ok\":true,\"project\":\"p2\",\"buckets\":[]}", 1, "p2"},
        {"last line without line feed", "log\n{\"ok\":true,\"project\":\"p3\",\"buckets\":[]}", 1,
         "p3"},
        {"carriage returns", "log\r\n{\"ok\":true,\"project\":\"p4\",\"buckets\":[]}\r\n", 1, "p4"},
        {"indented answer", "log\n   {\"ok\":true,\"project\":\"p5\",\"buckets\":[]}", 1, "p5"},
        // No line begins with a brace, so the brace inside the log line is taken.
        {"indented answer after a braced log line",
         "log {x}\n  {\"ok\":true,\"project\":\"p6\",\"buckets\":[]}", 0, ""},
        {"answer glued to text", "done:{\"ok\":true,\"project\":\"p7\",\"buckets\":[]}", 1, "p7"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        auto record = parse(r.text);
        expect_sane(*record);
        EXPECT_EQ(record->ok, r.ok);
        EXPECT_STREQ(record->project, r.project);
    }
}

TEST(QuotaOutput, ClassifiesModelsByTheirId)
{
    struct row {
        const char* name;
        const char* id;
        const char* pool;  // null: no row at all
        int gemini, argon, claude;
    };
    const row rows[] = {
        {"argon line", "gemini-4-argon-preview", "argon", 0, 1, 0},
        {"argon exact", "gemini-4-argon", "argon", 0, 1, 0},
        {"gemini", "gemini-2.5-flash", "gemini", 1, 0, 0},
        {"gemini 4 but not argon", "gemini-4-pro", "gemini", 1, 0, 0},
        {"claude", "claude-opus", "claude", 0, 0, 1},
        {"other", "gpt-oss", "other", 0, 0, 0},
        {"upper case is other", "Gemini-2.5-pro", "other", 0, 0, 0},
        {"no dash is other", "gemini", "other", 0, 0, 0},
        {"chat entries are dropped", "chat_x", nullptr, 0, 0, 0},
        {"tab entries are dropped", "tab_y", nullptr, 0, 0, 0},
        {"empty id is dropped", "", nullptr, 0, 0, 0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        auto record =
            parse(std::string("{\"ok\":true,\"buckets\":[{\"modelId\":\"") + r.id +
                  "\",\"remainingFraction\":0.5,\"resetTime\":\"2025-06-01T13:00:00Z\"}]}");
        expect_sane(*record);
        ASSERT_EQ(record->ok, 1);
        EXPECT_EQ(record->gemini.count, r.gemini);
        EXPECT_EQ(record->argon.count, r.argon);
        EXPECT_EQ(record->claude.count, r.claude);
        if (r.pool == nullptr) {
            EXPECT_EQ(record->model_count, 0);
            continue;
        }
        ASSERT_EQ(record->model_count, 1);
        EXPECT_STREQ(record->models[0].id, r.id);
        EXPECT_STREQ(record->models[0].pool, r.pool);
        EXPECT_EQ(record->models[0].pct, 50.0);
        EXPECT_STREQ(record->models[0].reset_time, "2025-06-01T13:00:00Z");
    }
}

TEST(QuotaOutput, BucketsWithoutUsableIdAreDropped)
{
    auto record = parse(
        "{\"ok\":true,\"buckets\":[{\"remainingFraction\":0.5},"
        "{\"modelId\":null,\"remainingFraction\":0.5},"
        "{\"modelId\":\"claude-x\",\"remainingFraction\":0.5}]}");
    ASSERT_EQ(record->ok, 1);
    ASSERT_EQ(record->model_count, 1);
    EXPECT_STREQ(record->models[0].id, "claude-x");
    EXPECT_EQ(record->claude.count, 1);
}

TEST(QuotaOutput, PercentageFromFraction)
{
    struct row {
        const char* name;
        const char* fraction;  // the member's raw value; null: no member
        double pct;
        int exhausted;
    };
    const row rows[] = {
        {"plain", "0.625", 62.5, 0},
        {"whole", "1", 100, 0},
        {"above one", "1.2", 100, 0},
        {"below zero", "-0.1", 0, 1},
        {"zero", "0", 0, 1},
        {"negative zero", "-0", 0, 1},
        {"leading point", ".25", 25, 0},
        {"exponent", "5e-1", 50, 0},
        {"overflowing exponent", "1e400", 100, 0},
        {"negative overflow", "-1e400", 0, 1},
        {"underflow to zero", "1e-400", 0, 1},
        {"negative infinity", "-inf", 0, 1},
        {"negative infinity spelt out", "-infinity", 0, 1},
        {"hexadecimal float", "0x1p-1", 50, 0},
        {"digits then junk", "1e", 100, 0},
        // Not numbers: the bucket counts as one without a fraction.
        {"absent", nullptr, 0, 1},
        {"nan", "nan", 0, 1},
        {"negative nan", "-nan", 0, 1},
        {"negative nan with payload", "-nan(0x1)", 0, 1},
        {"null", "null", 0, 1},
        {"quoted", "\"0.5\"", 0, 1},
        {"plus sign", "+0.5", 0, 1},
        {"lone minus", "-", 0, 1},
        {"true", "true", 0, 1},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        std::string bucket = "{\"modelId\":\"gemini-x\"";
        if (r.fraction != nullptr)
            bucket += std::string(",\"remainingFraction\":") + r.fraction;
        auto record = parse("{\"ok\":true,\"buckets\":[" + bucket + "}]}");
        expect_sane(*record);
        ASSERT_EQ(record->model_count, 1);
        EXPECT_EQ(record->models[0].pct, r.pct);
        EXPECT_FALSE(std::signbit(record->models[0].pct));
        EXPECT_EQ(record->models[0].exhausted, r.exhausted);
        EXPECT_EQ(record->gemini.pct, r.pct);
        EXPECT_EQ(record->gemini.exhausted, r.exhausted);
    }
}

TEST(QuotaOutput, TinyPositiveFractionIsNotExhausted)
{
    auto record = parse(
        "{\"ok\":true,\"buckets\":[{\"modelId\":\"gemini-x\","
        "\"remainingFraction\":4.9e-324}]}");
    ASSERT_EQ(record->model_count, 1);
    EXPECT_GT(record->models[0].pct, 0.0);
    EXPECT_EQ(record->models[0].exhausted, 0);
}

TEST(PoolAdd, FoldsBuckets)
{
    struct bucket {
        double pct;
        int exhausted;
        const char* reset_time;
    };
    struct row {
        const char* name;
        std::initializer_list<bucket> buckets;
        double pct;
        int exhausted;
        const char* reset_time;
    };
    const row rows[] = {
        {"first bucket sets the share", {{70, 0, ""}}, 70, 0, ""},
        {"lowest wins", {{80, 0, "b"}, {35, 0, "a"}}, 35, 0, "a"},
        {"lowest wins in either order", {{35, 0, ""}, {80, 0, ""}}, 35, 0, ""},
        {"a bucket at zero exhausts", {{80, 0, ""}, {35, 0, ""}, {0, 0, ""}}, 0, 1, ""},
        {"exhaustion sticks", {{50, 1, ""}, {90, 0, ""}}, 50, 1, ""},
        {"earliest reset by bytes",
         {{50, 0, "2025-06-02T00:00:00Z"}, {60, 0, "2025-06-01T00:00:00Z"}},
         50,
         0,
         "2025-06-01T00:00:00Z"},
        {"empty reset never replaces",
         {{50, 0, "2025-06-02T00:00:00Z"}, {60, 0, ""}},
         50,
         0,
         "2025-06-02T00:00:00Z"},
        {"empty reset then a real one",
         {{50, 0, ""}, {60, 0, "2025-06-02T00:00:00Z"}},
         50,
         0,
         "2025-06-02T00:00:00Z"},
        {"later reset kept out",
         {{50, 0, "2025-06-01T00:00:00Z"}, {60, 0, "2025-07-01T00:00:00Z"}},
         50,
         0,
         "2025-06-01T00:00:00Z"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        pool p{};
        p.pct = -1;
        for (const bucket& b : r.buckets)
            pool_add(p, b.pct, b.exhausted, b.reset_time);
        EXPECT_EQ(p.present, 1);
        EXPECT_EQ(p.pct, r.pct);
        EXPECT_EQ(p.exhausted, r.exhausted);
        EXPECT_STREQ(p.reset_time, r.reset_time);
        EXPECT_EQ(p.count, static_cast<int>(r.buckets.size()));
    }
}

TEST(PoolAdd, LongResetTimeIsCut)
{
    pool p{};
    p.pct = -1;
    std::string reset(100, '9');
    pool_add(p, 10, 0, reset.c_str());
    EXPECT_EQ(std::string(p.reset_time), reset.substr(0, 63));
}

TEST(QuotaOutput, KeepsAtMostAHundredTwentyEightRows)
{
    std::string text = "{\"ok\":true,\"buckets\":[";
    for (int i = 0; i < 130; ++i) {
        // The lowest share arrives last, past the row limit, and must still reach the pool.
        double fraction = i == 129 ? 0.01 : 0.9;
        text += (i ? "," : "") + std::string("{\"modelId\":\"gemini-m") + std::to_string(i) +
                "\",\"remainingFraction\":" + std::to_string(fraction) + "}";
    }
    auto record = parse(text + "]}");
    expect_sane(*record);
    ASSERT_EQ(record->ok, 1);
    EXPECT_EQ(record->model_count, 128);
    EXPECT_STREQ(record->models[127].id, "gemini-m127");
    EXPECT_EQ(record->gemini.count, 130);
    EXPECT_EQ(record->gemini.pct, 1.0);
}

TEST(QuotaOutput, ReadsSummaryWindows)
{
    using limit_of = const window_limit& (*)(const acct_quota&);
    struct row {
        const char* name;
        const char* groups;
        limit_of slot;  // null: no window stored anywhere
        const char* bucket_id;
        double pct;
        int exhausted;
    };
    auto gemini_5h = [](const acct_quota& r) -> const window_limit& { return r.gemini_five_hour; };
    auto gemini_week = [](const acct_quota& r) -> const window_limit& { return r.gemini_weekly; };
    auto claude_5h = [](const acct_quota& r) -> const window_limit& { return r.claude_five_hour; };
    auto claude_week = [](const acct_quota& r) -> const window_limit& { return r.claude_weekly; };
    const row rows[] = {
        {"gemini id, empty window name",
         "{\"displayName\":\"Other\",\"buckets\":[{\"bucketId\":\"gemini-pro-weekly\",\"window\":"
         "\"\","
         "\"remainingFraction\":0.4}]}",
         gemini_week, "gemini-pro-weekly", 40, 0},
        {"five hours in a Claude group",
         "{\"displayName\":\"Claude\",\"buckets\":[{\"bucketId\":\"x\",\"window\":\"5h\","
         "\"remainingFraction\":0.3}]}",
         claude_5h, "x", 30, 0},
        {"GPT group feeds Claude",
         "{\"displayName\":\"GPT models\",\"buckets\":[{\"bucketId\":\"y\",\"window\":\"weekly\","
         "\"remainingFraction\":0.2}]}",
         claude_week, "y", 20, 0},
        {"lower-case family names",
         "{\"displayName\":\"all gemini\",\"buckets\":[{\"bucketId\":\"z\",\"window\":\"5h\","
         "\"remainingFraction\":1}]}",
         gemini_5h, "z", 100, 0},
        {"third-party id without group name",
         "{\"buckets\":[{\"bucketId\":\"3p-weekly\",\"remainingFraction\":0.9}]}", claude_week,
         "3p-weekly", 90, 0},
        {"five hours from the id beats the weekly name",
         "{\"displayName\":\"Gemini\",\"buckets\":[{\"bucketId\":\"g-5h\",\"window\":\"weekly\","
         "\"remainingFraction\":0.5}]}",
         gemini_5h, "g-5h", 50, 0},
        {"reset time without fraction is used up",
         "{\"displayName\":\"Claude\",\"buckets\":[{\"bucketId\":\"3p-5h\","
         "\"resetTime\":\"2025-06-01T13:00:00Z\"}]}",
         claude_5h, "3p-5h", 0, 1},
        {"fraction of zero",
         "{\"displayName\":\"Gemini\",\"buckets\":[{\"bucketId\":\"a\",\"window\":\"5h\","
         "\"remainingFraction\":0}]}",
         gemini_5h, "a", 0, 1},
        {"nan fraction with a reset time counts as without a fraction",
         "{\"displayName\":\"Gemini\",\"buckets\":[{\"bucketId\":\"a\",\"window\":\"5h\","
         "\"remainingFraction\":-nan,\"resetTime\":\"2025-06-01T13:00:00Z\"}]}",
         gemini_5h, "a", 0, 1},
        {"daily window is ignored",
         "{\"displayName\":\"Gemini\",\"buckets\":[{\"bucketId\":\"gemini-daily\",\"window\":"
         "\"daily\","
         "\"remainingFraction\":0.5}]}",
         nullptr, "", 0, 0},
        {"neither fraction nor reset time is ignored",
         "{\"displayName\":\"Gemini\",\"buckets\":[{\"bucketId\":\"gemini-5h\",\"window\":\"5h\"}]"
         "}",
         nullptr, "", 0, 0},
        {"nan fraction alone is ignored",
         "{\"displayName\":\"Gemini\",\"buckets\":[{\"bucketId\":\"gemini-5h\","
         "\"remainingFraction\":-nan}]}",
         nullptr, "", 0, 0},
        {"unknown family is ignored",
         "{\"displayName\":\"Other\",\"buckets\":[{\"bucketId\":\"foo-5h\",\"window\":\"5h\","
         "\"remainingFraction\":0.5}]}",
         nullptr, "", 0, 0},
        {"the last window for a slot wins",
         "{\"displayName\":\"Gemini\",\"buckets\":[{\"bucketId\":\"first-5h\","
         "\"remainingFraction\":0.1,"
         "\"resetTime\":\"2025-06-01T13:00:00Z\"},{\"bucketId\":\"second-5h\","
         "\"remainingFraction\":0.7}]}",
         gemini_5h, "second-5h", 70, 0},
        {"a malformed group is skipped",
         "{\"displayName\":\"Gemini\",\"buckets\":{\"bucketId\":\"gemini-5h\"}},"
         "{\"displayName\":\"Claude\",\"buckets\":[{\"bucketId\":\"3p-5h\",\"remainingFraction\":0."
         "6}]}",
         claude_5h, "3p-5h", 60, 0},
        {"a group without buckets is skipped",
         "{\"displayName\":\"Gemini\"},"
         "{\"displayName\":\"Claude\",\"buckets\":[{\"bucketId\":\"3p-5h\",\"remainingFraction\":0."
         "6}]}",
         claude_5h, "3p-5h", 60, 0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        auto record = parse(std::string("{\"ok\":true,\"buckets\":[],\"summary\":{\"groups\":[") +
                            r.groups + "]}}");
        expect_sane(*record);
        ASSERT_EQ(record->ok, 1);
        int present = record->gemini_five_hour.present + record->gemini_weekly.present +
                      record->claude_five_hour.present + record->claude_weekly.present;
        EXPECT_EQ(present, r.slot ? 1 : 0);
        if (r.slot == nullptr)
            continue;
        const window_limit& w = r.slot(*record);
        EXPECT_EQ(w.present, 1);
        EXPECT_STREQ(w.bucket_id, r.bucket_id);
        EXPECT_EQ(w.pct, r.pct);
        EXPECT_EQ(w.exhausted, r.exhausted);
    }
}

TEST(QuotaOutput, LastWindowOverwritesEveryField)
{
    auto record = parse(
        "{\"ok\":true,\"buckets\":[],\"summary\":{\"groups\":[{\"displayName\":\"Gemini\","
        "\"buckets\":["
        "{\"bucketId\":\"a-5h\",\"remainingFraction\":0,\"resetTime\":\"2025-06-01T13:00:00Z\"},"
        "{\"bucketId\":\"b-5h\",\"remainingFraction\":0.5}]}]}}");
    const window_limit& w = record->gemini_five_hour;
    EXPECT_STREQ(w.bucket_id, "b-5h");
    EXPECT_EQ(w.exhausted, 0);
    EXPECT_STREQ(w.reset_time, "");
}

TEST(QuotaOutput, SummaryProblemsNeverFailTheAnswer)
{
    const char* summaries[] = {
        "\"summary\":null",
        "\"summary\":[]",
        "\"summary\":{}",
        "\"summary\":{\"groups\":{}}",
        "\"summary\":{\"groups\":\"x\"}",
        "\"summary\":{\"groups\":[1,2,\"{\"]}",
        "\"summary\":{\"groups\":[{\"buckets\":[{\"bucketId\":\"gemini-5h\"",
    };
    for (const char* summary : summaries) {
        SCOPED_TRACE(summary);
        auto record = parse(std::string("{\"ok\":true,\"buckets\":[{\"modelId\":\"gemini-a\","
                                        "\"remainingFraction\":0.5}],") +
                            summary + "}");
        expect_sane(*record);
        EXPECT_EQ(record->ok, 1);
        EXPECT_EQ(record->model_count, 1);
        EXPECT_EQ(record->gemini_five_hour.present, 0);
    }
}

TEST(QuotaOutput, EmptyBucketListIsAnAnswer)
{
    auto record = parse("{\"ok\":true,\"project\":\"p\",\"buckets\":[]}");
    EXPECT_EQ(record->ok, 1);
    EXPECT_EQ(record->model_count, 0);
    EXPECT_EQ(record->gemini.present + record->argon.present + record->claude.present, 0);
    EXPECT_EQ(record->gemini.pct, -1.0);
}

TEST(QuotaOutput, BucketListEndsAtAMalformedElement)
{
    struct row {
        const char* name;
        const char* text;
        int rows;
    };
    const row rows[] = {
        {"cut inside the second bucket",
         "{\"ok\":true,\"buckets\":[{\"modelId\":\"gemini-a\",\"remainingFraction\":0.5},"
         "{\"modelId\":\"gemini-b\"",
         2},
        {"cut inside a string",
         "{\"ok\":true,\"buckets\":[{\"modelId\":\"gemini-a\"},{\"modelId\":\"gem", 2},
        {"missing closing braces",
         "{\"ok\":true,\"buckets\":[{\"modelId\":\"gemini-a\"},{\"modelId\":\"claude-b\"}]", 2},
        {"scalars between buckets are passed over",
         "{\"ok\":true,\"buckets\":[1,{\"modelId\":\"gemini-a\"},\"x\",{\"modelId\":\"claude-b\"}]"
         "}",
         2},
        {"no object in the list", "{\"ok\":true,\"buckets\":[1,2,3]}", 0},
        {"a brace in a string is taken for an object",
         "{\"ok\":true,\"buckets\":[\"{\\\"modelId\\\":1\",{\"modelId\":\"gemini-a\"}]}", 0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        auto record = parse(r.text);
        expect_sane(*record);
        EXPECT_EQ(record->ok, 1);
        EXPECT_EQ(record->model_count, r.rows);
    }
}

TEST(QuotaOutput, NulInOutputEndsTheText)
{
    using namespace std::string_literals;
    auto hidden = parse("log\0{\"ok\":true,\"buckets\":[]}"s);
    EXPECT_EQ(hidden->ok, 0);
    EXPECT_STREQ(hidden->error, "quota_fetch_failed");

    auto cut = parse(
        "{\"ok\":true,\"buckets\":[{\"modelId\":\"gemini-a\",\"remainingFraction\":0.5}"
        "\0,{\"modelId\":\"claude-b\",\"remainingFraction\":0.5}]}"s);
    expect_sane(*cut);
    EXPECT_EQ(cut->ok, 1);
    ASSERT_EQ(cut->model_count, 1);
    EXPECT_EQ(cut->claude.present, 0);
}

TEST(QuotaOutput, DeepNestingAndHugeInput)
{
    std::string deep = "{\"ok\":true,\"x\":" + std::string(200000, '[') + ",\"buckets\":[]}";
    auto nested = parse(deep);
    expect_sane(*nested);
    // The unclosed brackets swallow the rest, so "buckets" is no longer a member of the answer.
    EXPECT_EQ(nested->ok, 0);
    EXPECT_STREQ(nested->error, "missing_buckets");

    std::string wide = "{\"ok\":true,\"buckets\":[" + std::string(300000, ' ') + "]}";
    auto spaced = parse(wide);
    EXPECT_EQ(spaced->ok, 1);
    EXPECT_EQ(spaced->model_count, 0);
}

TEST(QuotaOutput, EveryPrefixOfAnAnswerIsSafe)
{
    std::string answer = fixture("full_answer.json");
    ASSERT_GT(answer.size(), 100u);
    for (std::size_t n = 0; n <= answer.size(); ++n) {
        SCOPED_TRACE(n);
        auto record = parse(std::string_view(answer).substr(0, n));
        expect_sane(*record);
        if (::testing::Test::HasFailure())
            break;
    }
}

TEST(QuotaOutput, ArbitraryBytesAreSafe)
{
    std::string answer = fixture("full_answer.json");
    std::uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 16;
    };
    const char alphabet[] = "{}[]\":,\\ \n01-.enatrugb";
    const std::size_t alphabet_size = sizeof alphabet - 1;
    for (int round = 0; round < 3000 && !::testing::Test::HasFailure(); ++round) {
        std::string text = answer;
        // Flip a few bytes of a real answer, or write pure noise.
        if (round % 3 == 0) {
            text.assign(next() % 400, ' ');
            for (char& c : text) {
                std::uint32_t pick = next();
                c = static_cast<char>(pick % 2 ? next() % 256 : alphabet[next() % alphabet_size]);
            }
        } else {
            for (int flips = 1 + next() % 8; flips > 0; --flips)
                text[next() % text.size()] = alphabet[next() % alphabet_size];
        }
        SCOPED_TRACE(round);
        expect_sane(*parse(text, {static_cast<int>(next() % 2), false, 0}));
    }
}

TEST(QuotaOutputFixtures, FullAnswer)
{
    auto r = parse(fixture("full_answer.json"));
    expect_sane(*r);
    ASSERT_EQ(r->ok, 1);
    EXPECT_STREQ(r->project, "quiet-harbor-42817");

    EXPECT_EQ(r->gemini.present, 1);
    EXPECT_EQ(r->gemini.pct, 62.5);
    EXPECT_EQ(r->gemini.exhausted, 0);
    EXPECT_EQ(r->gemini.count, 2);
    EXPECT_STREQ(r->gemini.reset_time, "2025-06-01T14:00:00Z");
    EXPECT_EQ(r->argon.pct, 40.0);
    EXPECT_EQ(r->argon.count, 1);
    EXPECT_EQ(r->claude.pct, 75.0);
    EXPECT_EQ(r->claude.count, 2);
    EXPECT_STREQ(r->claude.reset_time, "2025-06-01T15:05:00Z");

    const char* ids[] = {"gemini-2.5-pro",    "gemini-2.5-flash", "gemini-4-argon-preview",
                         "claude-sonnet-4-5", "claude-opus-4-1",  "gpt-oss-120b"};
    const char* pools[] = {"gemini", "gemini", "argon", "claude", "claude", "other"};
    ASSERT_EQ(r->model_count, 6);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(ids[i]);
        EXPECT_STREQ(r->models[i].id, ids[i]);
        EXPECT_STREQ(r->models[i].pool, pools[i]);
    }
    EXPECT_EQ(r->models[5].pct, 50.0);

    EXPECT_STREQ(r->gemini_five_hour.bucket_id, "gemini-5h");
    EXPECT_EQ(r->gemini_five_hour.pct, 80.0);
    EXPECT_STREQ(r->gemini_weekly.bucket_id, "gemini-weekly");
    EXPECT_DOUBLE_EQ(r->gemini_weekly.pct, 55.0);
    EXPECT_STREQ(r->claude_five_hour.bucket_id, "3p-5h");
    EXPECT_EQ(r->claude_five_hour.pct, 30.0);
    EXPECT_STREQ(r->claude_five_hour.reset_time, "2025-06-01T13:15:00Z");
    EXPECT_STREQ(r->claude_weekly.bucket_id, "3p-weekly");
    EXPECT_EQ(r->claude_weekly.pct, 90.0);
}

TEST(QuotaOutputFixtures, ArgonModel)
{
    auto r = parse(fixture("argon_model.json"));
    ASSERT_EQ(r->ok, 1);
    EXPECT_STREQ(r->project, "");
    EXPECT_EQ(r->gemini.present, 0);
    EXPECT_EQ(r->argon.pct, 25.0);
    EXPECT_EQ(r->argon.count, 2);
    // Reset times compare as bytes, whatever their zones say.
    EXPECT_STREQ(r->argon.reset_time, "2025-06-01T15:00:00Z");
    EXPECT_EQ(r->gemini_five_hour.present + r->claude_weekly.present, 0);
}

TEST(QuotaOutputFixtures, ExhaustedPool)
{
    auto r = parse(fixture("exhausted_pool.json"));
    ASSERT_EQ(r->ok, 1);
    EXPECT_EQ(r->claude.pct, 0.0);
    EXPECT_EQ(r->claude.exhausted, 1);
    EXPECT_EQ(r->claude.count, 2);
    EXPECT_EQ(r->models[1].exhausted, 1);
    EXPECT_EQ(r->models[1].pct, 0.0);
    EXPECT_EQ(r->gemini.exhausted, 0);
    EXPECT_EQ(r->claude_five_hour.present, 1);
    EXPECT_EQ(r->claude_five_hour.exhausted, 1);
    EXPECT_EQ(r->claude_five_hour.pct, 0.0);
}

TEST(QuotaOutputFixtures, LogLinesBefore)
{
    auto r = parse(fixture("log_lines_before.txt"));
    ASSERT_EQ(r->ok, 1);
    EXPECT_STREQ(r->project, "log-first-1");
    EXPECT_EQ(r->model_count, 1);
}

TEST(QuotaOutputFixtures, FailureAnswer)
{
    auto r = parse(fixture("failure_answer.json"));
    EXPECT_EQ(r->ok, 0);
    EXPECT_STREQ(r->error, "token expired");
}

}  // namespace
