// The request front: catalogue switches, the password gate, and the dispatch table.
#include "front/dispatch.h"

#include <cstring>
#include <string_view>

#include "accounts/action_status.h"
#include "accounts/action_switch.h"
#include "accounts/post_body.h"
#include "front/output.h"
#include "front/page_route.h"
#include "front/password_gate.h"
#include "front/query_string.h"
#include "platform/platform.h"
#include "quota/action_quota.h"

namespace {

constexpr std::string_view meta_line = "{\"name\":\"brelvane\",\"desc\":\"Account quotas\"}\n";
constexpr std::string_view version_line = "plugin_brelvane " BRELVANE_VERSION "\n";

constexpr std::size_t action_capacity = 64;
constexpr std::size_t format_capacity = 32;

// Answers the catalogue switches; false when the process should serve a request instead.
bool answer_catalogue(int argc, char** argv)
{
    const char* first = argc > 1 ? argv[1] : nullptr;
    bool want_meta = (first && std::strcmp(first, "--meta") == 0) ||
                     platform_getenv("ZQ_PLUGIN_META") != nullptr;
    if (want_meta)
        return (void)platform_write_stdout(meta_line), true;
    if (first && (std::strcmp(first, "--version") == 0 || std::strcmp(first, "-v") == 0))
        return (void)platform_write_stdout(version_line), true;
    return false;
}

using account_text = char[account_text_capacity];

int run_status(account_text&) { return action_status(); }
int run_quota(account_text& account) { return action_quota(account); }
int run_switch(account_text& account)
{
    if (account[0] == '\0')
        read_post_account(account);
    return action_switch(account);
}

struct api_action {
    std::string_view name;
    int (*run)(account_text& account);
};

constexpr api_action api_actions[] = {
    {"status", run_status},
    {"quota", run_quota},
    {"switch", run_switch},
};

int serve_api(const char* query)
{
    char action[action_capacity];
    char format[format_capacity];
    account_text account;
    get_query_val(query, "action", action, sizeof action);
    get_query_val(query, "format", format, sizeof format);
    // An "account=" segment, even an empty one, hides "email".
    if (!get_query_val(query, "account", account, sizeof account))
        get_query_val(query, "email", account, sizeof account);

    if (action[0] == '\0')
        return std::strcmp(format, "json") == 0 ? action_quota(account) : action_status();
    for (const api_action& entry : api_actions)
        if (entry.name == action)
            return entry.run(account);
    emit_error(404, "Not Found", "unknown_action", action);
    return 1;
}

}  // namespace

int plugin_main(int argc, char** argv)
{
    platform_stdout_binary();
    if (answer_catalogue(argc, argv))
        return 0;

    const char* query = platform_getenv("QUERY_STRING");
    if (!gate_admits(platform_getenv("BOT_PASSWORD"), platform_getenv("HTTP_X_BOT_PASSWORD"),
                     platform_getenv("HTTP_AUTHORIZATION"), query)) {
        (void)platform_write_stdout(password_refusal);
        return 0;
    }
    if (query == nullptr)
        query = "";
    if (!query_has(query, "action") && !query_has(query, "format")) {
        emit_page();
        return 0;
    }
    return serve_api(query);
}
