// Shared set-up for the hostile-input suites: a node folder with the stand-in tool, and a runner
// that reports how a process ended (exit code or signal) with its standard error beside.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "front/output.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"

struct process_end {
    std::string out;
    std::string err;
    int exit_code = -1;  // -1 when it did not exit normally
    int signal = 0;      // the signal that ended it, 0 for a normal exit
    bool timed_out = false;
};

// Runs a shell command line in the current environment with the given standard input. A prefix
// from BRELVANE_TEST_WRAPPER (valgrind, for instance) goes in front of plug-in commands when
// wrapped is set.
process_end run_shell(const std::string& command, std::string_view input = {},
                      int timeout_seconds = 60);
// The command line that runs an executable with arguments, each quoted for the shell.
std::string shell_command(const std::vector<std::string>& words, bool wrapped);
// The plug-in (or its allocation-failing twin) with the current environment.
process_end run_plugin_exe(std::string_view input = {});

// One JSON line of the stand-in's call log, decoded: the arguments after argv[0].
std::vector<std::vector<std::string>> standin_calls(const std::string& log_path);

class HostileRun : public ::testing::Test {
protected:
    scoped_temp_dir node;
    scoped_temp_dir answers;
    std::string accounts_file = node.file("antigravity_accounts.json");
    std::string selected_file = node.file("selected_account.txt");
    std::string standin_log = node.file("standin.log");

    void SetUp() override;
    void TearDown() override { clear_plugin_environment(); }

    void tool_answers(const std::string& email, const std::string& json,
                      const std::string& behave = "");
    process_end request(const char* query, std::string_view body = {});
};

// The error envelope the plug-in writes for a status, reason, code and detail.
std::string envelope_text(const char* status_line, const char* code, const char* detail);
// A canned quota answer with one gemini and one claude model, reset times in the past.
std::string canned_answer(double gemini_fraction, double claude_fraction);
