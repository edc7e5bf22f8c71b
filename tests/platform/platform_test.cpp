// The platform layer against real files and real child processes, the same cases on every OS.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "quota/quota_tool.h"
#include "tests/platform/shell_commands.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

std::string shell_quoted(const std::string& text)
{
    char out[2048];
    shell_quote_into(text.c_str(), out, sizeof out);
    return out;
}

// The probe named in the OS's own path form: Windows' start command takes no forward slashes.
std::string probe(const std::string& arguments)
{
    return shell_quoted(fs::absolute(PROBE_EXE).make_preferred().string()) + " " + arguments;
}

std::vector<std::string> names_in(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    return names;
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct collected {
    shell_outcome outcome;
    std::vector<std::string> pieces;
    std::string joined() const
    {
        std::string all;
        for (const std::string& piece : pieces)
            all += piece;
        return all;
    }
};

collected run(const std::string& command, int timeout_seconds)
{
    collected result{};
    result.outcome = platform_run_shell(command.c_str(), timeout_seconds, [&](std::string_view b) {
        result.pieces.emplace_back(b);
        return true;
    });
    return result;
}

}  // namespace

TEST(PlatformEnvironment, SetGetAndRemove)
{
    env_scope scope{{"BRELVANE_PLATFORM_PROBE", "value"}};
    ASSERT_NE(platform_getenv("BRELVANE_PLATFORM_PROBE"), nullptr);
    EXPECT_STREQ(platform_getenv("BRELVANE_PLATFORM_PROBE"), "value");
    platform_setenv("BRELVANE_PLATFORM_PROBE", "");
    EXPECT_EQ(platform_getenv("BRELVANE_PLATFORM_PROBE"), nullptr) << "an empty value removes";
}

TEST(PlatformEnvironment, OperatingSystemReadReportsWhatDoesNotFit)
{
    std::string fits(511, 'p');
    std::string too_long(512, 'q');
    char out[512];
    {
        env_scope scope{{"BRELVANE_PLATFORM_PROBE", fits.c_str()}};
        ASSERT_EQ(platform_read_os_env("BRELVANE_PLATFORM_PROBE", out, sizeof out), 511u);
        EXPECT_EQ(std::string(out), fits);
    }
    {
        env_scope scope{{"BRELVANE_PLATFORM_PROBE", too_long.c_str()}};
        EXPECT_GE(platform_read_os_env("BRELVANE_PLATFORM_PROBE", out, sizeof out), sizeof out);
    }
    env_scope scope{{"BRELVANE_PLATFORM_PROBE", nullptr}};
    EXPECT_EQ(platform_read_os_env("BRELVANE_PLATFORM_PROBE", out, sizeof out), 0u);
}

TEST(PlatformReplaceFile, WritesTheWholeContentAndLeavesNothingElse)
{
    scoped_temp_dir dir;
    std::string target = dir.file("selected_account.txt");
    std::string content("b@x\r\n\0tail\n", 11);
    struct row {
        const char* name;
        const char* before;  // null: no file yet
    } rows[] = {{"new file", nullptr}, {"longer file replaced", "a-much-longer-address@x\n"}};
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        fs::remove(target);
        if (r.before)
            write_text(target, r.before);
        replace_result written = platform_replace_file(target.c_str(), content);
        EXPECT_TRUE(written.ok);
        EXPECT_EQ(written.err, 0);
        EXPECT_EQ(read_text(target), content);
        EXPECT_EQ(names_in(dir.path), std::vector<std::string>{"selected_account.txt"});
    }
}

TEST(PlatformReplaceFile, FailureKeepsTheOldStateAndNoTemporaryFile)
{
    scoped_temp_dir dir;
    std::string missing = (dir.path / "no-such-dir" / "selected_account.txt").string();
    replace_result written = platform_replace_file(missing.c_str(), "a@x\n");
    EXPECT_FALSE(written.ok);
    EXPECT_EQ(written.err, ENOENT);
    EXPECT_STREQ(platform_error_text(written.err), platform_error_text(ENOENT));

    // A non-empty directory cannot be replaced by a file.
    fs::path blocked = dir.path / "blocked";
    fs::create_directories(blocked / "inside");
    written = platform_replace_file(blocked.string().c_str(), "a@x\n");
    EXPECT_FALSE(written.ok);
    EXPECT_NE(written.err, 0);
    EXPECT_TRUE(fs::is_directory(blocked / "inside"));
    EXPECT_EQ(names_in(dir.path), std::vector<std::string>{"blocked"});
}

TEST(PlatformRunShell, ExitCodesSitInBitsEightToFifteen)
{
    struct row {
        const char* name;
        std::string command;
        int status;
    } rows[] = {
        {"success", shell_exit_command(0), 0},
        {"failure code", shell_exit_command(3), 3 << 8},
        {"command not found", shell_missing_command(), 127 << 8},
        {"child's own code", probe("bad-arguments"), 2 << 8},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        collected result = run(r.command, 30);
        EXPECT_TRUE(result.outcome.started);
        EXPECT_FALSE(result.outcome.timed_out);
        EXPECT_EQ(result.outcome.status, r.status);
    }
}

TEST(PlatformRunShell, OutputArrivesInPiecesAndInOrder)
{
    collected result = run(probe("print 3 300 piece-"), 30);
    EXPECT_EQ(result.outcome.status, 0);
    EXPECT_EQ(result.joined(), "piece-piece-piece-");
    EXPECT_GE(result.pieces.size(), 2u) << "writes apart in time are handed over apart";

    collected big = run(probe("fill 1000000"), 30);
    EXPECT_EQ(big.outcome.status, 0);
    EXPECT_EQ(big.joined(), std::string(1000000, 'x'));
}

TEST(PlatformRunShell, ConsumerThatStopsEndsTheRunEarly)
{
    auto start = std::chrono::steady_clock::now();
    int calls = 0;
    shell_outcome outcome =
        platform_run_shell(probe("fill 2000000000").c_str(), 60, [&](std::string_view) {
            ++calls;
            return false;
        });
    EXPECT_TRUE(outcome.started);
    EXPECT_FALSE(outcome.timed_out) << "the writer fails once the output is closed";
    EXPECT_NE(outcome.status, 0);
    EXPECT_EQ(calls, 1);
    EXPECT_LT(seconds_since(start), 30.0);
}

TEST(PlatformRunShell, TimeLimitEndsTheCommandAndWhatItStarted)
{
    scoped_temp_dir dir;
    std::string early = dir.file("background-done");
    std::string late = dir.file("foreground-done");
    std::string command = shell_background_command(probe("after 1500 " + shell_quoted(early)),
                                                   probe("after 2000 " + shell_quoted(late)));

    // Given the time, both write their files: the command really starts both.
    collected finished = run(command, 30);
    EXPECT_FALSE(finished.outcome.timed_out);
    EXPECT_EQ(finished.outcome.status, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(fs::exists(early));
    EXPECT_TRUE(fs::exists(late));
    fs::remove(early);
    fs::remove(late);

    auto start = std::chrono::steady_clock::now();
    collected ended = run(command, 1);
    EXPECT_TRUE(ended.outcome.started);
    EXPECT_TRUE(ended.outcome.timed_out);
    EXPECT_LT(seconds_since(start), 2.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    EXPECT_FALSE(fs::exists(early)) << "the background child outlived the time limit";
    EXPECT_FALSE(fs::exists(late)) << "the foreground child outlived the time limit";
}
