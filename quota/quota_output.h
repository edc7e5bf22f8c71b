// The condensed record of one quota-tool answer, and the parser that fills it.
#pragma once

#include <cstddef>

struct buf;
struct quota_run;

constexpr std::size_t quota_error_capacity = 64;
constexpr std::size_t quota_detail_capacity = 64;
constexpr std::size_t quota_project_capacity = 256;
constexpr std::size_t reset_time_capacity = 64;
constexpr std::size_t bucket_id_capacity = 64;
constexpr std::size_t model_id_capacity = 128;
constexpr std::size_t pool_name_capacity = 16;
constexpr int models_max = 128;

// The worst case over the models of one family. pct is -1 until a bucket is added.
struct pool {
    int present;
    double pct;
    int exhausted;
    char reset_time[reset_time_capacity];
    int count;
};

// One rate-limit window from the answer's summary; the last window for a slot wins.
struct window_limit {
    int present;
    char bucket_id[bucket_id_capacity];
    double pct;
    int exhausted;
    char reset_time[reset_time_capacity];
};

struct model_entry {
    char id[model_id_capacity];
    char pool[pool_name_capacity];  // "gemini", "argon", "claude" or "other"
    double pct;
    int exhausted;
    char reset_time[reset_time_capacity];
};

// ok 0 means error says why; detail carries a sentence for people when one is known (a run
// that passed its time limit). Percentages run from 0 to 100.
struct acct_quota {
    int ok;
    int cli_unavailable;
    char error[quota_error_capacity];
    char detail[quota_detail_capacity];
    char project[quota_project_capacity];
    pool gemini;
    pool argon;
    pool claude;
    window_limit gemini_five_hour;
    window_limit gemini_weekly;
    window_limit claude_five_hour;
    window_limit claude_weekly;
    model_entry models[models_max];
    int model_count;
};

// Fills the record from one run's output; every problem ends as ok 0 with a code in error.
void parse_quota_output(const buf& output, const quota_run& run, acct_quota& record);
// Folds one bucket into a pool: lowest percentage, sticky exhaustion, earliest reset time.
void pool_add(pool& into, double pct, int exhausted, const char* reset_time);
