// The quota report action: runs the tool per account and writes the quota document.
#include "quota/action_quota.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "accounts/action_status.h"
#include "accounts/file_locations.h"
#include "front/memory.h"
#include "front/output.h"
#include "platform/platform.h"
#include "quota/quota_output.h"
#include "quota/quota_tool.h"
#include "quota/reset_time.h"

namespace {

constexpr const char* missing_tool_message =
    "norvanta-brelvane was not found on PATH; install NORVANTA CODE or set BRELVANE_BIN";
constexpr const char* empty_pool =
    "{\"pct\":-1,\"exhausted\":false,\"reset_time\":\"\",\"reset_in_seconds\":-1,"
    "\"reset_in_hours\":-1.00,\"reset_remaining\":\"\",\"count\":0}";

// The members that pools, windows and model rows share, from the percentage to the label.
void emit_share_and_reset(buf& out, double pct, int exhausted, const char* reset_time,
                          std::int64_t now)
{
    reset_fields reset;
    compute_reset_fields(reset_time, now, reset);
    buf_adds(out, "\"pct\":");
    buf_add_fixed2(out, pct);
    buf_adds(out, exhausted ? ",\"exhausted\":true,\"reset_time\":"
                            : ",\"exhausted\":false,\"reset_time\":");
    buf_json(out, reset_time);
    buf_adds(out, ",\"reset_in_seconds\":");
    buf_add_int(out, reset.seconds_left);
    buf_adds(out, ",\"reset_in_hours\":");
    buf_add_fixed2(out, reset.hours_left);
    buf_adds(out, ",\"reset_remaining\":");
    buf_json(out, reset.label);
}

void emit_model_row(buf& out, const model_entry& row, std::int64_t now)
{
    buf_adds(out, "{\"id\":");
    buf_json(out, row.id);
    buf_adds(out, ",\"pool\":");
    buf_json(out, row.pool);
    buf_adds(out, ",");
    emit_share_and_reset(out, row.pct, row.exhausted, row.reset_time, now);
    buf_adds(out, "}");
}

void emit_limits(buf& out, const acct_quota& record, std::int64_t now)
{
    buf_adds(out, ",\"limits\":{\"gemini\":{\"five_hour\":");
    emit_window_limit_json(out, record.gemini_five_hour, now);
    buf_adds(out, ",\"weekly\":");
    emit_window_limit_json(out, record.gemini_weekly, now);
    buf_adds(out, "},\"claude\":{\"five_hour\":");
    emit_window_limit_json(out, record.claude_five_hour, now);
    buf_adds(out, ",\"weekly\":");
    emit_window_limit_json(out, record.claude_weekly, now);
    buf_adds(out, "}}");
}

// The rest of an account object whose answer was read, closing brace included.
void emit_quota_members(buf& out, const acct_quota& record, std::int64_t now)
{
    buf_adds(out, ",\"project\":");
    buf_json(out, record.project);
    buf_adds(out, ",\"gemini\":");
    emit_pool_json(out, record.gemini, now);
    buf_adds(out, ",\"argon\":");
    emit_pool_json(out, record.argon, now);
    buf_adds(out, ",\"claude\":");
    emit_pool_json(out, record.claude, now);
    emit_limits(out, record, now);
    buf_adds(out, ",\"models\":[");
    int rows = std::clamp(record.model_count, 0, models_max);
    for (int i = 0; i < rows; ++i) {
        if (i > 0)
            buf_adds(out, ",");
        emit_model_row(out, record.models[i], now);
    }
    buf_adds(out, "]}");
}

// The rest of an account object whose run or answer failed, closing brace included.
void emit_failure_members(buf& out, const acct_quota& record)
{
    buf_adds(out, ",\"error\":");
    buf_json(out, record.error[0] != '\0' ? record.error : "quota_fetch_failed");
    const char* detail = record.cli_unavailable ? missing_tool_message : record.detail;
    if (detail[0] != '\0') {
        buf_adds(out, ",\"detail\":");
        buf_json(out, detail);
    }
    buf_adds(out, "}");
}

void choose_best_for(std::span<const account> table, std::span<const acct_quota> records,
                     pool acct_quota::*which, const char*& best)
{
    double best_pct = -1.0;
    best = "";
    std::size_t n = std::min(table.size(), records.size());
    for (std::size_t i = 0; i < n; ++i) {
        const pool& candidate = records[i].*which;
        // Strictly greater: on a tie the earlier account in the table stays the best.
        if (records[i].ok && candidate.present && !candidate.exhausted &&
            candidate.pct > best_pct) {
            best_pct = candidate.pct;
            best = table[i].email;
        }
    }
}

void fetch_quota(const char* tool, const account& entry, acct_quota& record)
{
    buf output;
    quota_run run = run_quota_one(tool, entry.email, output);
    parse_quota_output(output, run, record);
}

int report_missing_tool()
{
    emit_error(200, "OK", "cli_unavailable", missing_tool_message);
    return 1;
}

int report_one(const char* tool, std::span<const account> table, const char* selected,
               const char* account_text)
{
    auto named = [&](const account& entry) {
        return std::string_view(entry.email) == account_text;
    };
    auto entry = std::find_if(table.begin(), table.end(), named);
    if (entry == table.end()) {
        emit_error(404, "Not Found", "unknown_account", account_text);
        return 1;
    }
    acct_quota record;
    fetch_quota(tool, *entry, record);
    if (record.cli_unavailable)
        return report_missing_tool();
    buf document;
    emit_quota_document_one(document, selected, *entry, record, platform_now());
    return emit_json_document(document);
}

int report_all(const char* tool, std::span<const account> table, const char* selected)
{
    std::unique_ptr<acct_quota[], mem_deleter> records(
        static_cast<acct_quota*>(mem_calloc(table.size(), sizeof(acct_quota))));
    if (!records) {
        emit_error(500, "Internal Server Error", "oom", "out of memory");
        return 1;
    }
    for (std::size_t i = 0; i < table.size(); ++i)
        fetch_quota(tool, table[i], records[i]);
    // Only the first account decides whether the tool is missing; later ones say so inside.
    if (records[0].cli_unavailable)
        return report_missing_tool();
    buf document;
    emit_quota_document_all(document, table, {records.get(), table.size()}, selected);
    records.reset();
    return emit_json_document(document);
}

}  // namespace

void emit_quota_document_all(buf& out, std::span<const account> table,
                             std::span<const acct_quota> records, const char* selected)
{
    best_accounts best;
    choose_best_accounts(table, records, best);
    buf_adds(out, document_opening);
    buf_json(out, selected);
    buf_adds(out, ",\"best_gemini\":");
    buf_json(out, best.gemini);
    buf_adds(out, ",\"best_argon\":");
    buf_json(out, best.argon);
    buf_adds(out, ",\"best_claude\":");
    buf_json(out, best.claude);
    buf_addf(out, ",\"count\":%d,\"accounts\":[", static_cast<int>(table.size()));
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (i > 0)
            buf_adds(out, ",");
        // Countdowns are measured when each account's object is written, after all runs.
        emit_acct_quota_json(out, table[i], records[i], platform_now());
    }
    buf_adds(out, "]}\n");
}

void emit_quota_document_one(buf& out, const char* selected, const account& entry,
                             const acct_quota& record, std::int64_t now)
{
    buf_adds(out, document_opening);
    buf_json(out, selected);
    buf_adds(out, ",\"account\":");
    emit_acct_quota_json(out, entry, record, now);
    buf_adds(out, "}\n");
}

void choose_best_accounts(std::span<const account> table, std::span<const acct_quota> records,
                          best_accounts& best)
{
    choose_best_for(table, records, &acct_quota::gemini, best.gemini);
    choose_best_for(table, records, &acct_quota::argon, best.argon);
    choose_best_for(table, records, &acct_quota::claude, best.claude);
}

void emit_pool_json(buf& out, const pool& p, std::int64_t now)
{
    if (!p.present) {
        buf_adds(out, empty_pool);
        return;
    }
    buf_adds(out, "{");
    emit_share_and_reset(out, p.pct, p.exhausted, p.reset_time, now);
    buf_addf(out, ",\"count\":%d}", p.count);
}

void emit_window_limit_json(buf& out, const window_limit& limit, std::int64_t now)
{
    if (!limit.present) {
        buf_adds(out, "null");
        return;
    }
    buf_adds(out, "{\"bucket_id\":");
    buf_json(out, limit.bucket_id);
    buf_adds(out, ",");
    emit_share_and_reset(out, limit.pct, limit.exhausted, limit.reset_time, now);
    buf_adds(out, "}");
}

void emit_acct_quota_json(buf& out, const account& entry, const acct_quota& record,
                          std::int64_t now)
{
    buf_adds(out, "{\"email\":");
    buf_json(out, entry.email);
    buf_addf(out, ",\"selected\":%s,\"has_refresh\":%s,\"ok\":%s", json_bool(entry.selected),
             json_bool(entry.has_refresh), json_bool(record.ok));
    if (record.ok)
        emit_quota_members(out, record, now);
    else
        emit_failure_members(out, record);
}

int action_quota(const char* account_text)
{
    account table[accounts_max];
    char selected[selected_text_capacity];
    int count = std::clamp(load_accounts(table, selected), 0, accounts_max);
    // The tool's environment is set on every quota request, before the account is looked at.
    char path[path_capacity];
    accounts_path(path);
    quota_tool_environment(path);
    // Read after the changes above: a runtime may rebuild its whole environment table when a
    // variable is set (wine's msvcrt does), which would leave an earlier value dangling.
    const char* tool = quota_bin();

    std::span<const account> accounts(table, static_cast<std::size_t>(count));
    if (account_text != nullptr && account_text[0] != '\0')
        return report_one(tool, accounts, selected, account_text);
    if (accounts.empty()) {
        // Nothing to run, so the tool's presence is not even tested.
        buf document;
        emit_quota_document_all(document, accounts, {}, selected);
        return emit_json_document(document);
    }
    return report_all(tool, accounts, selected);
}
