// Temporary folders, environment scopes and the runner for the built executable.
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <random>

#include "platform/platform.h"
#include "quota/quota_tool.h"

namespace fs = std::filesystem;

scoped_temp_dir::scoped_temp_dir()
{
    static std::atomic<int> counter{0};
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // The random part keeps two runs of the same suite at once out of each other's folders.
    static const unsigned run = std::random_device{}();
    std::string name = "brelvane-test-" + std::to_string(run) + "-" + std::to_string(counter++) +
                       "-" + (info ? info->name() : "x");
    path = fs::temp_directory_path() / name;
    fs::remove_all(path);
    fs::create_directories(path);
}

scoped_temp_dir::~scoped_temp_dir()
{
    std::error_code ignored;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path, ignored);
}

void write_text(const std::string& path, std::string_view content)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    if (!content.empty())
        std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
}

std::string read_text(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return "<missing>";
    std::string text;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
        text.append(chunk, n);
    std::fclose(f);
    return text;
}

env_scope::env_scope(std::initializer_list<std::pair<const char*, const char*>> values)
{
    for (const auto& [name, value] : values) {
        const char* old = platform_getenv(name);
        saved_.push_back({name, old ? old : "", old != nullptr});
        platform_setenv(name, value ? value : "");
    }
}

env_scope::~env_scope()
{
    for (const saved_value& s : saved_)
        platform_setenv(s.name.c_str(), s.was_set ? s.value.c_str() : "");
}

void clear_plugin_environment()
{
    for (const char* name :
         {"ZQ_PLUGIN_META", "BOT_PASSWORD", "HTTP_X_BOT_PASSWORD", "HTTP_AUTHORIZATION",
          "QUERY_STRING", "CONTENT_LENGTH", "POST_BODY_FILE", "GOOGLE_ACCOUNTS_FILE",
          "ANTIGRAVITY_CREDS_PATH", "USERPROFILE", "HOME", "GOOGLE_SELECTED_FILE", "BRELVANE_BIN",
          "BRELVANE_TIMEOUT", "BRELVANE_STANDIN_DIR", "BRELVANE_STANDIN_LOG"})
        platform_setenv(name, "");
}

run_output run_plugin(std::string_view arguments, std::string_view input)
{
    scoped_temp_dir dir;
    std::string input_file = dir.file("stdin");
    write_text(input_file, input);
    char exe[1024];
    char stdin_path[1024];
    shell_quote_into(PLUGIN_EXE, exe, sizeof exe);
    shell_quote_into(input_file.c_str(), stdin_path, sizeof stdin_path);
    // BRELVANE_TEST_WRAPPER goes in front of the plug-in: a valgrind command line, for instance.
    const char* wrapper = platform_getenv("BRELVANE_TEST_WRAPPER");
    std::string prefix = wrapper != nullptr && wrapper[0] != '\0' ? std::string(wrapper) + " " : "";
    std::string command =
        prefix + exe + " " + std::string(arguments) + " <" + stdin_path;
    run_output result{"", -1};
    shell_outcome run = platform_run_shell(command.c_str(), 60, [&](std::string_view bytes) {
        result.out.append(bytes);
        return true;
    });
    if (run.started && !run.timed_out && run.status >= 0 && (run.status & 0xff) == 0)
        result.exit_code = (run.status >> 8) & 0xff;
    return result;
}
