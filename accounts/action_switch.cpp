// The switch action: validates the account against the table and rewrites the selection file.
#include "accounts/action_switch.h"

#include <cstring>
#include <cstdio>
#include <string_view>

#include "accounts/account_list.h"
#include "accounts/file_locations.h"
#include "front/output.h"
#include "platform/platform.h"

namespace {

bool is_listed(const char* email)
{
    account table[accounts_max];
    char selected[selected_text_capacity];
    int count = load_accounts(table, selected);
    for (int i = 0; i < count; ++i)
        if (std::strcmp(table[i].email, email) == 0)
            return true;
    return false;
}

}  // namespace

int action_switch(const char* account)
{
    if (account[0] == '\0') {
        emit_error(400, "Bad Request", "missing_account", "pass ?account=<email>");
        return 1;
    }
    if (!is_safe_email(account)) {
        emit_error(400, "Bad Request", "invalid_account", account);
        return 1;
    }
    if (!is_listed(account)) {
        emit_error(404, "Not Found", "unknown_account", account);
        return 1;
    }
    // The answer is built first, so a switch that is carried out can also be reported.
    buf doc;
    buf_adds(doc, "{\"ok\":true,\"selected\":");
    buf_json(doc, account);
    buf_adds(doc, "}\n");
    if (doc.failed)
        return emit_json_document(doc);
    char path[path_capacity];
    selected_path(path);
    // The new content replaces the old at once, so no reader ever sees an empty selection.
    char content[email_capacity + 1];
    int length = std::snprintf(content, sizeof content, "%s\n", account);
    replace_result written =
        platform_replace_file(path, std::string_view(content, static_cast<std::size_t>(length)));
    if (!written.ok) {
        emit_error(500, "Internal Server Error", "write_failed",
                   platform_error_text(written.err));
        return 1;
    }
    return emit_json_document(doc);
}
