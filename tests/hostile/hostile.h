// Shared set-up for the hostile-input suites: a node folder with the stand-in tool, and the
// reader of the stand-in's call log.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "front/output.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"

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
    run_output request(const char* query, std::string_view body = {});
};

// The error envelope the plug-in writes for a status, reason, code and detail.
std::string envelope_text(const char* status_line, const char* code, const char* detail);
// A canned quota answer with one gemini and one claude model, reset times in the past.
std::string canned_answer(double gemini_fraction, double claude_fraction);
