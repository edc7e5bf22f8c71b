// The executable's front: catalogue switches, the password gate and page-or-API routing.
#include <string>

#include "front/page_route.h"
#include "front/password_gate.h"
#include "tests/e2e/e2e.h"
#include "web/page_assets.h"

namespace {

const std::string meta = "{\"name\":\"brelvane\",\"desc\":\"Account quotas\"}\n";
const std::string version = "plugin_brelvane 1.0.3\n";
const std::string unknown_status = envelope(
    "404 Not Found", "{\"ok\":false,\"error\":\"unknown_action\",\"detail\":\"Status\"}\n");

std::string expected_page()
{
    std::string page(page_header_block);
    for (char c : page_template) {
        if (c == '\x01')
            page += theme_preload_block;
        else if (c == '\x02')
            page += theme_bridge_block;
        else
            page += c;
    }
    return page;
}

bool is_page(const run_output& r) { return r.out.rfind(page_header_block, 0) == 0; }
bool is_status(const run_output& r)
{
    return r.out.rfind(json_document("{\"ok\":true,\"plugin\":\"plugin_brelvane\""), 0) == 0 &&
           r.out.find("\"cli_present\"") != std::string::npos;
}
bool is_all_quota(const run_output& r) { return r.out.find("\"best_gemini\"") != std::string::npos; }

}  // namespace

TEST_F(PluginRun, CatalogueSwitches)
{
    struct row {
        const char* name;
        const char* arguments;
        const char* meta_env;
        std::string out;
    } rows[] = {
        {"meta", "--meta", nullptr, meta},
        {"version", "--version", nullptr, version},
        {"short version", "-v", nullptr, version},
        {"env outranks version", "--version", "1", meta},
        {"env without argument", "", "1", meta},
        {"meta with extra argument", "--meta --version", nullptr, meta},
    };
    platform_setenv("BOT_PASSWORD", "s3cret");
    platform_setenv("QUERY_STRING", "action=status");
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        env_scope env{{"ZQ_PLUGIN_META", r.meta_env}};
        run_output result = run_plugin(r.arguments);
        EXPECT_EQ(result.out, r.out);
        EXPECT_EQ(result.exit_code, 0);
    }
}

TEST_F(PluginRun, UnknownArgumentServesTheRequest)
{
    platform_setenv("QUERY_STRING", "action=Status");
    run_output result = run_plugin("--metadata");
    EXPECT_EQ(result.out, unknown_status);
    EXPECT_EQ(result.exit_code, 1);
}

TEST_F(PluginRun, PasswordGate)
{
    struct row {
        const char* name;
        const char* header;
        const char* authorization;
        const char* query;
        bool admitted;
    } rows[] = {
        {"nothing", nullptr, nullptr, "action=status", false},
        {"header", "s3cret", nullptr, "action=status", true},
        {"bearer", nullptr, "  bearer   s3cret", "action=status", true},
        {"bearer with tab", nullptr, "Bearer\ts3cret", "action=status", false},
        {"query", nullptr, nullptr, "action=status&pwd=s3cret", true},
        {"wrong header, right query", "nope", nullptr, "action=status&pwd=s3cret", true},
        {"page needs it too", nullptr, nullptr, "", false},
    };
    platform_setenv("BOT_PASSWORD", "s3cret");
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        env_scope env{{"HTTP_X_BOT_PASSWORD", r.header}, {"HTTP_AUTHORIZATION", r.authorization}};
        run_output result = request(r.query);
        if (r.admitted) {
            EXPECT_TRUE(is_status(result)) << result.out;
        } else {
            EXPECT_EQ(result.out, password_refusal);
            EXPECT_EQ(result.out.size(), 145u);
        }
        EXPECT_EQ(result.exit_code, 0);
    }
}

TEST_F(PluginRun, PageOrApiRouting)
{
    enum kind { page, status, all_quota, unknown };
    struct row {
        const char* query;
        kind expected;
    } rows[] = {
        {"", page},
        {"x=1", page},
        {"actions=1", page},
        {"action", status},
        {"action=", status},
        {"format", status},
        {"format=xml", status},
        {"format=JSON", status},
        {"format=json", all_quota},
        {"action=%00quota", status},
        {"action=Status", unknown},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.query);
        run_output result = request(r.query);
        switch (r.expected) {
        case page: EXPECT_TRUE(is_page(result)); break;
        case status: EXPECT_TRUE(is_status(result)) << result.out; break;
        case all_quota: EXPECT_TRUE(is_all_quota(result)) << result.out; break;
        case unknown: EXPECT_EQ(result.out, unknown_status); break;
        }
        EXPECT_EQ(result.exit_code, r.expected == unknown ? 1 : 0);
    }
}

TEST_F(PluginRun, AbsentQueryGetsThePage)
{
    run_output result = run_plugin();
    EXPECT_EQ(result.out, expected_page());
    EXPECT_EQ(result.exit_code, 0);
}

TEST_F(PluginRun, PageIsTheTemplateWithBothBlocksInPlace)
{
    run_output result = request("theme=dark");
    EXPECT_EQ(result.out, expected_page());
    EXPECT_EQ(result.out.find('\x01'), std::string::npos);
    EXPECT_EQ(result.out.find('\x02'), std::string::npos);
    EXPECT_NE(result.out.find(theme_preload_block), std::string::npos);
    EXPECT_NE(result.out.find(theme_bridge_block), std::string::npos);
}

TEST_F(PluginRun, UnknownActionEchoesTheDecodedAndCutAction)
{
    std::string long_action(100, 'z');
    std::string query = "action=" + long_action;
    run_output result = request(query.c_str());
    EXPECT_EQ(result.out,
              envelope("404 Not Found", "{\"ok\":false,\"error\":\"unknown_action\",\"detail\":\"" +
                                            long_action.substr(0, 63) + "\"}\n"));
    result = request("action=%22%5C%0A%01");
    EXPECT_EQ(result.out, envelope("404 Not Found",
                                   "{\"ok\":false,\"error\":\"unknown_action\",\"detail\":"
                                   "\"\\\"\\\\\\n\\u0001\"}\n"));
    EXPECT_EQ(result.exit_code, 1);
}
