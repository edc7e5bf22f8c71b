// Micro-benchmarks of the quota engine: parsing a large answer and writing a large document.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "accounts/account_list.h"
#include "front/output.h"
#include "quota/action_quota.h"
#include "quota/quota_output.h"
#include "quota/quota_tool.h"

namespace {

// A tool answer of about 512 KiB: 160 buckets, a summary, and padding members it ignores.
std::string large_answer()
{
    std::string text = "progress: fetching\n{\"ok\":true,\"project\":\"p\",\"buckets\":[";
    const char* families[] = {"gemini-2.5-pro-", "gemini-4-argon-", "claude-opus-", "gpt-oss-"};
    for (int i = 0; i < 160; ++i) {
        text += std::string(i ? "," : "") + "{\"modelId\":\"" + families[i % 4] +
                std::to_string(i) + "\",\"displayName\":\"" + std::string(3000, 'd') +
                "\",\"remainingFraction\":0." + std::to_string(10 + i % 90) +
                ",\"resetTime\":\"2030-06-01T12:00:00Z\"}";
    }
    text += "],\"summary\":{\"groups\":[{\"displayName\":\"Gemini\",\"buckets\":["
            "{\"bucketId\":\"gemini-5h\",\"window\":\"5h\",\"remainingFraction\":0.5,"
            "\"resetTime\":\"2030-06-01T12:00:00Z\"}]},{\"displayName\":\"Claude\",\"buckets\":["
            "{\"bucketId\":\"3p-weekly\",\"window\":\"weekly\",\"remainingFraction\":0.5,"
            "\"resetTime\":\"2030-06-01T12:00:00Z\"}]}]}}\n";
    text.resize(std::max<std::size_t>(text.size(), 512 * 1024 - 1), ' ');
    return text;
}

void ParseLargeAnswer(benchmark::State& state)
{
    std::string text = large_answer();
    buf output;
    if (!buf_add(output, text.data(), text.size()))
        state.SkipWithError("out of memory");
    auto record = std::make_unique<acct_quota>();
    quota_run run{1, false, 60};
    for (auto _ : state) {
        parse_quota_output(output, run, *record);
        benchmark::DoNotOptimize(record->model_count);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(ParseLargeAnswer)->Unit(benchmark::kMillisecond);

void WriteAllAccountsDocument(benchmark::State& state)
{
    std::string text = large_answer();
    buf output;
    if (!buf_add(output, text.data(), text.size()))
        state.SkipWithError("out of memory");
    auto records = std::make_unique<acct_quota[]>(accounts_max);
    account table[accounts_max];
    for (int i = 0; i < accounts_max; ++i) {
        parse_quota_output(output, quota_run{1, false, 60}, records[i]);
        std::snprintf(table[i].email, sizeof table[i].email, "user%d@example.com", i);
        table[i].has_refresh = 1;
        table[i].selected = i == 0;
    }
    for (auto _ : state) {
        buf doc;
        for (int i = 0; i < accounts_max; ++i)
            emit_acct_quota_json(doc, table[i], records[i], 1900000000);
        benchmark::DoNotOptimize(doc.length);
    }
}
BENCHMARK(WriteAllAccountsDocument)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
