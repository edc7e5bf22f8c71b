// The quota action as a client sees it: documents, best accounts, envelopes, exit statuses.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/platform.h"
#include "tests/e2e/e2e.h"

namespace {

const std::string opening = "{\"ok\":true,\"plugin\":\"plugin_brelvane\",\"version\":\"1.0.3\",";
const std::string empty_pool =
    "{\"pct\":-1,\"exhausted\":false,\"reset_time\":\"\",\"reset_in_seconds\":-1,"
    "\"reset_in_hours\":-1.00,\"reset_remaining\":\"\",\"count\":0}";
const std::string missing_tool_detail =
    "norvanta-brelvane was not found on PATH; install NORVANTA CODE or set BRELVANE_BIN";

// A due model row: reset times in the past count down to nothing, so the bytes are fixed.
std::string due(const char* reset) {
    return std::string("\"reset_time\":\"") + reset +
           "\",\"reset_in_seconds\":0,\"reset_in_hours\":0.00,\"reset_remaining\":\"due\"";
}

std::string answer(double gemini, double claude, const char* extra_model = "")
{
    char text[512];
    std::snprintf(text, sizeof text,
                  "{\"ok\":true,\"project\":\"p\",\"buckets\":["
                  "{\"modelId\":\"gemini-2.5-pro\",\"remainingFraction\":%g,\"resetTime\":"
                  "\"2020-01-01T00:00:00Z\"},"
                  "{\"modelId\":\"claude-opus\",\"remainingFraction\":%g}%s]}\n",
                  gemini, claude, extra_model);
    return text;
}

class QuotaRun : public PluginRun {
protected:
    scoped_temp_dir answers;

    void SetUp() override
    {
        PluginRun::SetUp();
        platform_setenv("BRELVANE_BIN", STANDIN_EXE);
        platform_setenv("BRELVANE_STANDIN_DIR", answers.path.string().c_str());
    }
    void tool_answers(const std::string& email, const std::string& json,
                      const std::string& behave = "")
    {
        write_text(answers.file(email + ".json"), json);
        if (!behave.empty())
            write_text(answers.file(email + ".behave"), behave);
    }
};

}  // namespace

TEST_F(QuotaRun, OneAccountDocument)
{
    write_text(accounts_file, R"([{"email":"a@x","refresh_token":"t"},{"email":"b@x"}])");
    write_text(selected_file, "b@x\n");
    tool_answers("a@x", "progress: 1/2\n" + answer(0.625, 0.0));
    run_output result = request("action=quota&account=a%40x");
    std::string expected =
        opening + "\"selected\":\"b@x\",\"account\":{\"email\":\"a@x\",\"selected\":false,"
        "\"has_refresh\":true,\"ok\":true,\"project\":\"p\",\"gemini\":{\"pct\":62.50,"
        "\"exhausted\":false," + due("2020-01-01T00:00:00Z") + ",\"count\":1},\"argon\":" +
        empty_pool + ",\"claude\":{\"pct\":0.00,\"exhausted\":true,\"reset_time\":\"\","
        "\"reset_in_seconds\":-1,\"reset_in_hours\":-1.00,\"reset_remaining\":\"\",\"count\":1},"
        "\"limits\":{\"gemini\":{\"five_hour\":null,\"weekly\":null},\"claude\":{\"five_hour\":"
        "null,\"weekly\":null}},\"models\":[{\"id\":\"gemini-2.5-pro\",\"pool\":\"gemini\","
        "\"pct\":62.50,\"exhausted\":false," + due("2020-01-01T00:00:00Z") + "},{\"id\":"
        "\"claude-opus\",\"pool\":\"claude\",\"pct\":0.00,\"exhausted\":true,\"reset_time\":\"\","
        "\"reset_in_seconds\":-1,\"reset_in_hours\":-1.00,\"reset_remaining\":\"\"}]}}\n";
    EXPECT_EQ(result.out, json_document(expected));
    EXPECT_EQ(result.exit_code, 0);
}

TEST_F(QuotaRun, AllAccountsChoosesTheBestPerPool)
{
    write_text(accounts_file, R"([{"email":"a@x"},{"email":"b@x"},{"email":"c@x"},{"email":"d@x"}])");
    tool_answers("a@x", answer(0.5, 0.0));
    tool_answers("b@x", answer(0.5, 0.2,
                               ",{\"modelId\":\"gemini-4-argon-x\",\"remainingFraction\":0.1}"));
    tool_answers("c@x", "{\"ok\":false,\"error\":\"token expired\"}");
    tool_answers("d@x", answer(0.4, 0.9), "exit 3\n");
    run_output result = request("format=json");
    EXPECT_EQ(result.exit_code, 0);
    std::string start = json_document(
        opening + "\"selected\":\"\",\"best_gemini\":\"a@x\",\"best_argon\":\"b@x\","
                  "\"best_claude\":\"d@x\",\"count\":4,\"accounts\":[{\"email\":\"a@x\"");
    EXPECT_EQ(result.out.rfind(start, 0), 0u) << result.out;
    EXPECT_NE(result.out.find("{\"email\":\"c@x\",\"selected\":false,\"has_refresh\":false,"
                              "\"ok\":false,\"error\":\"token expired\"},{\"email\":\"d@x\""),
              std::string::npos);
    EXPECT_EQ(result.out.substr(result.out.size() - 4), "}]}\n");
}

TEST_F(QuotaRun, NoAccountsAnswersWithoutTheTool)
{
    platform_setenv("BRELVANE_BIN", node.file("absent-tool").c_str());
    run_output result = request("action=quota");
    EXPECT_EQ(result.out,
              json_document(opening + "\"selected\":\"\",\"best_gemini\":\"\",\"best_argon\":\"\","
                                      "\"best_claude\":\"\",\"count\":0,\"accounts\":[]}\n"));
    EXPECT_EQ(result.exit_code, 0);
}

TEST_F(QuotaRun, Envelopes)
{
    write_text(accounts_file, R"([{"email":"a@x"}])");
    std::string unavailable = envelope(
        "200 OK", "{\"ok\":false,\"error\":\"cli_unavailable\",\"detail\":\"" +
                      missing_tool_detail + "\"}\n");
    struct row {
        const char* name;
        const char* query;
        bool tool_missing;
        std::string out;
    } rows[] = {
        {"unknown account", "action=quota&account=z@x", false,
         envelope("404 Not Found",
                  "{\"ok\":false,\"error\":\"unknown_account\",\"detail\":\"z@x\"}\n")},
        {"case differs", "action=quota&account=A@x", false,
         envelope("404 Not Found",
                  "{\"ok\":false,\"error\":\"unknown_account\",\"detail\":\"A@x\"}\n")},
        {"tool missing, one", "action=quota&account=a@x", true, unavailable},
        {"tool missing, all", "action=quota", true, unavailable},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        std::string missing = node.file("absent-tool");
        env_scope env{{"BRELVANE_BIN", r.tool_missing ? missing.c_str() : STANDIN_EXE}};
        run_output result = request(r.query);
        EXPECT_EQ(result.out, r.out);
        EXPECT_EQ(result.exit_code, 1);
    }
}

TEST_F(QuotaRun, OnlyTheFirstAccountDecidesAboutAMissingTool)
{
    write_text(accounts_file, R"([{"email":"a@x"},{"email":"b@x"}])");
    tool_answers("a@x", answer(1, 1));
    tool_answers("b@x", "{}", "exit 127\n");
    run_output result = request("action=quota");
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_NE(result.out.find("{\"email\":\"b@x\",\"selected\":false,\"has_refresh\":false,"
                              "\"ok\":false,\"error\":\"cli_unavailable\",\"detail\":\"" +
                              missing_tool_detail + "\"}]}\n"),
              std::string::npos)
        << result.out;
}

TEST_F(QuotaRun, HungToolIsReportedInsideItsAccount)
{
    write_text(accounts_file, R"([{"email":"slow@x"},{"email":"b@x"}])");
    tool_answers("slow@x", answer(1, 1), "hang\n");
    tool_answers("b@x", answer(1, 1));
    platform_setenv("BRELVANE_TIMEOUT", "1");
    run_output result = request("action=quota");
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_NE(result.out.find("{\"email\":\"slow@x\",\"selected\":false,\"has_refresh\":false,"
                              "\"ok\":false,\"error\":\"quota_timeout\",\"detail\":\"the quota "
                              "tool gave no answer within 1 s\"}"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("\"best_gemini\":\"b@x\""), std::string::npos);
}

TEST_F(QuotaRun, CountdownsFollowTheClock)
{
    write_text(accounts_file, R"([{"email":"a@x"}])");
    std::int64_t reset = platform_now() + 2 * 86400 + 5 * 3600 + 600;
    std::time_t t = static_cast<std::time_t>(reset);
    char iso[32];
    std::strftime(iso, sizeof iso, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&t));
    tool_answers("a@x", std::string("{\"ok\":true,\"buckets\":[{\"modelId\":\"gemini-x\","
                                    "\"remainingFraction\":1,\"resetTime\":\"") + iso + "\"}]}");
    std::int64_t before = platform_now();
    run_output result = request("action=quota&account=a@x");
    std::int64_t after = platform_now();
    std::size_t at = result.out.find("\"reset_in_seconds\":");
    ASSERT_NE(at, std::string::npos) << result.out;
    long long seconds = std::atoll(result.out.c_str() + at + 19);
    EXPECT_LE(seconds, reset - before);
    EXPECT_GE(seconds, reset - after);
    EXPECT_NE(result.out.find("\"reset_remaining\":\"2d 5h\""), std::string::npos);
}
