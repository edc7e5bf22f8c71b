// The status document: selection, file paths, tool presence and the account table.
#include "accounts/action_status.h"

#include "accounts/account_list.h"
#include "accounts/file_locations.h"
#include "front/output.h"
#include "quota/quota_tool.h"

int action_status()
{
    account table[accounts_max];
    char selected[selected_text_capacity];
    int count = load_accounts(table, selected);
    char accounts_file[path_capacity];
    char selected_file[path_capacity];
    accounts_path(accounts_file);
    selected_path(selected_file);
    bool cli_present = bin_available(quota_bin());

    buf doc;
    buf_adds(doc, document_opening);
    buf_json(doc, selected);
    buf_adds(doc, ",\"accounts_path\":");
    buf_json(doc, accounts_file);
    buf_adds(doc, ",\"selected_path\":");
    buf_json(doc, selected_file);
    buf_addf(doc, ",\"cli_present\":%s,\"count\":%d,\"accounts\":[", json_bool(cli_present), count);
    for (int i = 0; i < count; ++i) {
        buf_adds(doc, i ? ",{\"email\":" : "{\"email\":");
        buf_json(doc, table[i].email);
        buf_addf(doc, ",\"has_refresh\":%s,\"selected\":%s}", json_bool(table[i].has_refresh),
                 json_bool(table[i].selected));
    }
    buf_adds(doc, "]}\n");
    return emit_json_document(doc);
}
