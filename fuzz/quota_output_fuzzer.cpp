// Fuzzes the quota parser on random tool output, then writes the account object and the
// single-account document and checks that both are valid JSON with percentages in range.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <string>

#include "front/output.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/json_check.h"
#include "quota/action_quota.h"
#include "quota/quota_output.h"
#include "quota/quota_tool.h"

namespace {

bool is_share(double pct) { return !std::isnan(pct) && pct >= 0.0 && pct <= 100.0; }

void check_pool(const pool& p)
{
    FUZZ_CHECK(p.pct == -1.0 || is_share(p.pct));
    FUZZ_CHECK(p.present || (p.pct == -1.0 && p.count == 0));
    FUZZ_CHECK(!p.present || p.count >= 1);
    FUZZ_CHECK(is_terminated(p.reset_time, sizeof p.reset_time));
}

void check_window(const window_limit& w)
{
    FUZZ_CHECK(!w.present || is_share(w.pct));
    FUZZ_CHECK(is_terminated(w.bucket_id, sizeof w.bucket_id));
    FUZZ_CHECK(is_terminated(w.reset_time, sizeof w.reset_time));
}

void check_record(const acct_quota& r)
{
    FUZZ_CHECK(r.ok == 0 || r.ok == 1);
    FUZZ_CHECK(is_terminated(r.error, sizeof r.error));
    FUZZ_CHECK(is_terminated(r.project, sizeof r.project));
    FUZZ_CHECK(r.ok || r.model_count == 0 || r.error[0] != '\0');
    for (const pool* p : {&r.gemini, &r.argon, &r.claude})
        check_pool(*p);
    for (const window_limit* w :
         {&r.gemini_five_hour, &r.gemini_weekly, &r.claude_five_hour, &r.claude_weekly})
        check_window(*w);
    FUZZ_CHECK(r.model_count >= 0 && r.model_count <= models_max);
    for (int i = 0; i < r.model_count; ++i) {
        const model_entry& m = r.models[i];
        FUZZ_CHECK(is_share(m.pct));
        FUZZ_CHECK(is_terminated(m.id, sizeof m.id) && m.id[0] != '\0');
        FUZZ_CHECK(is_terminated(m.reset_time, sizeof m.reset_time));
        std::string_view kind = m.pool;
        FUZZ_CHECK(kind == "gemini" || kind == "argon" || kind == "claude" || kind == "other");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    quota_run run{in.ConsumeIntegralInRange<int>(-1, 1), in.ConsumeBool(), 60};
    std::int64_t now = in.ConsumeBool() ? 1748779200 + in.ConsumeIntegralInRange<int>(-200000, 200000)
                                        : in.ConsumeIntegral<std::int64_t>();
    account entry{};
    std::strcpy(entry.email, "fuzz.account+1@example.org");
    entry.selected = in.ConsumeBool();
    entry.has_refresh = in.ConsumeBool();
    std::string bytes = in.ConsumeRemainingBytesAsString();

    buf output;
    (void)buf_add(output, bytes.data(), bytes.size());
    acct_quota record;
    std::memset(&record, 0x5a, sizeof record);
    parse_quota_output(output, run, record);
    check_record(record);
    FUZZ_CHECK(run.result != -1 || (record.cli_unavailable && !record.ok));

    buf object;
    emit_acct_quota_json(object, entry, record, now);
    FUZZ_CHECK(is_strict_json(object.view()));

    buf document;
    emit_quota_document_one(document, "", entry, record, now);
    std::string_view text = document.view();
    FUZZ_CHECK(!text.empty() && text.back() == '\n');
    FUZZ_CHECK(is_strict_json(text));
    return 0;
}
