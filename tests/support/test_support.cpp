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

run_output run_shell(const std::string& command, std::string_view input, int timeout_seconds)
{
    scoped_temp_dir dir;
    std::string input_file = dir.file("stdin");
    std::string error_file = dir.file("stderr");
    write_text(input_file, input);
    std::string line = command + " <" + shell_command({input_file}, false) + " 2>" +
                       shell_command({error_file}, false);
    run_output end;
    shell_outcome run = platform_run_shell(line.c_str(), timeout_seconds,
                                           [&](std::string_view bytes) {
                                               end.out.append(bytes);
                                               return true;
                                           });
    end.err = read_text(error_file);
    end.timed_out = run.timed_out;
    if (run.started && !run.timed_out && run.status >= 0) {
        // The shell reports a child ended by signal N as exit code 128 + N.
        int code = (run.status >> 8) & 0xff;
        if ((run.status & 0x7f) != 0)
            end.signal = run.status & 0x7f;
        else if (code > 128 && code < 128 + 65)
            end.signal = code - 128;
        else
            end.exit_code = code;
    }
    return end;
}

std::string shell_command(const std::vector<std::string>& words, bool wrapped)
{
    std::string line;
    const char* wrapper = platform_getenv("BRELVANE_TEST_WRAPPER");
    if (wrapped && wrapper != nullptr && wrapper[0] != '\0')
        line = std::string(wrapper) + " ";
    for (const std::string& word : words) {
        char quoted[4096];
        shell_quote_into(word.c_str(), quoted, sizeof quoted);
        if (!line.empty() && line.back() != ' ')
            line += ' ';
        line += quoted;
    }
    return line;
}

run_output run_plugin(std::string_view arguments, std::string_view input)
{
    run_output result =
        run_shell(shell_command({PLUGIN_EXE}, true) + " " + std::string(arguments), input);
    const char* wrapper = platform_getenv("BRELVANE_TEST_WRAPPER");
    if (wrapper != nullptr && wrapper[0] != '\0' && result.exit_code == 99)
        ADD_FAILURE() << "the wrapper found a fault:\n" << result.err;
    return result;
}
