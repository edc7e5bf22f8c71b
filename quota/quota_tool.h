// Running the external quota tool: which tool, whether it is there, and one run per account.
#pragma once

#include <cstddef>

struct buf;

// The tool name: BRELVANE_BIN when set and not empty, else "norvanta-brelvane".
const char* quota_bin();
// 1 when the tool can be found, 0 otherwise (also for a null or empty name).
int bin_available(const char* name);
// Writes the source in double quotes into dest (capacity at least 3), escaping what the
// command shell needs escaped; cut, never overflowing, when it does not fit.
void shell_quote_into(const char* source, char* dest, std::size_t capacity);
// Prepares the environment the tool inherits: profile variables removed, local token source,
// and the accounts file it should read.
void quota_tool_environment(const char* accounts_file);

// The outcome of one run: 1 the tool ran and exited with 0; 0 nothing ran or it failed;
// -1 the tool is unavailable. A run that passed its time limit gives 0 with timed_out set.
struct quota_run {
    int result;
    bool timed_out;
    int timeout_seconds;
};
// Runs the tool for one account and appends its standard output (at most 512 KiB) to output.
quota_run run_quota_one(const char* tool, const char* email, buf& output);

constexpr std::size_t quota_output_max = 524288;
constexpr int quota_timeout_default_seconds = 60;
