// Shared set-up for the end-to-end suites: a clean environment and a node folder per test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "front/output.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"

// Each test starts from an environment holding none of the plug-in's variables, with the two
// files pointed into a fresh folder.
class PluginRun : public ::testing::Test {
protected:
    scoped_temp_dir node;
    std::string accounts_file = node.file("antigravity_accounts.json");
    std::string selected_file = node.file("selected_account.txt");

    void SetUp() override
    {
        clear_plugin_environment();
        platform_setenv("GOOGLE_ACCOUNTS_FILE", accounts_file.c_str());
        platform_setenv("GOOGLE_SELECTED_FILE", selected_file.c_str());
    }
    void TearDown() override { clear_plugin_environment(); }

    run_output request(const char* query, std::string_view body = {})
    {
        platform_setenv("QUERY_STRING", query);
        return run_plugin({}, body);
    }
};

inline std::string json_document(std::string_view body)
{
    return std::string(json_header_block) + std::string(body);
}

inline std::string envelope(const char* status_line, std::string_view body)
{
    return std::string("Status: ") + status_line + "\r\n" + std::string(json_header_block) +
           std::string(body);
}
