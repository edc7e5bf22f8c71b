// The quota report: one account or every account, with the best account per pool.
#pragma once

#include <cstdint>
#include <span>

#include "accounts/account_list.h"

struct buf;
struct pool;
struct window_limit;
struct acct_quota;

// Answers action=quota for the named account, or for all accounts when the text is empty.
// Returns 0 after the quota document, 1 after an error envelope.
int action_quota(const char* account_text);

// The address per pool with the most quota left, pointing into the table; "" when no account
// qualifies.
struct best_accounts {
    const char* gemini;
    const char* argon;
    const char* claude;
};
// table and records run in parallel, one record per table entry.
void choose_best_accounts(std::span<const account> table, std::span<const acct_quota> records,
                          best_accounts& best);

// The two quota documents, line feed included. The all-accounts form reads the clock once per
// account object; the single form measures against now.
void emit_quota_document_all(buf& out, std::span<const account> table,
                             std::span<const acct_quota> records, const char* selected);
void emit_quota_document_one(buf& out, const char* selected, const account& entry,
                             const acct_quota& record, std::int64_t now);

// The writers of the parts of a quota document. now is the clock reading the reset countdowns are
// measured against, taken once per account object.
void emit_acct_quota_json(buf& out, const account& entry, const acct_quota& record,
                          std::int64_t now);
void emit_pool_json(buf& out, const pool& p, std::int64_t now);
void emit_window_limit_json(buf& out, const window_limit& limit, std::int64_t now);
