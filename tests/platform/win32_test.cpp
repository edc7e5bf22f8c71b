// Where Windows differs: its path rules, the kernel's PATH search and file tests, and the tool
// run through the command interpreter, end to end through the built executable.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "tests/e2e/e2e.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

// The built files as Windows paths: the build system names them with forward slashes.
std::string windows_path(const char* built) { return fs::absolute(built).make_preferred().string(); }

std::string json_escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out;
}

std::string copy_standin(const fs::path& to)
{
    fs::create_directories(to.parent_path());
    fs::copy_file(windows_path(STANDIN_EXE), to);
    return to.string();
}

const char* canned_answer = "{\"ok\":true,\"project\":\"p\",\"buckets\":[]}\n";

}  // namespace

TEST(Win32Paths, SeparatorCutAndPathTest)
{
    EXPECT_EQ(platform_path_separator(), '\\');
    struct cut_row {
        const char* path;
        int after;  // -1: no directory part
    } cuts[] = {
        {"C:\\data\\accounts.json", 8},
        {"C:\\data/sub/accounts.json", 3},  // the backslash decides even with slashes after it
        {"data/sub/accounts.json", 9},
        {"accounts.json", -1},
        {"C:accounts.json", -1},
    };
    for (const cut_row& r : cuts) {
        SCOPED_TRACE(r.path);
        const char* after = platform_after_directory(r.path);
        EXPECT_EQ(after ? static_cast<int>(after - r.path) : -1, r.after);
    }
    for (const char* path : {"C:\\tools\\tool.exe", "tools/tool", "C:tool", "\\\\server\\x"})
        EXPECT_TRUE(platform_name_is_path(path)) << path;
    EXPECT_FALSE(platform_name_is_path("norvanta-brelvane"));
}

TEST(Win32Paths, OnlyTheDoubleQuoteIsEscapedForTheInterpreter)
{
    EXPECT_TRUE(platform_shell_must_escape('"'));
    for (char c : {'\\', '$', '`', '%', '^', '&', ' '})
        EXPECT_FALSE(platform_shell_must_escape(c)) << c;
    EXPECT_STREQ(platform_null_device(), "NUL");
}

TEST(Win32Tools, KernelSearchAndAttributeTests)
{
    scoped_temp_dir dir;
    std::string tool = copy_standin(dir.path / "bin" / "tool.exe");
    std::string bin = (dir.path / "bin").string();
    env_scope env{{"PATH", bin.c_str()}};
    EXPECT_TRUE(platform_search_path("tool")) << "the default extension .exe is added";
    EXPECT_TRUE(platform_search_path("tool.exe"));
    EXPECT_FALSE(platform_search_path("absent-tool"));

    EXPECT_TRUE(platform_path_runnable(tool.c_str()));
    EXPECT_FALSE(platform_path_runnable((dir.path / "bin" / "tool").string().c_str()))
        << "a path is tested as given, without an extension added";
    EXPECT_FALSE(platform_path_runnable(bin.c_str())) << "a directory";
    EXPECT_FALSE(platform_path_runnable((dir.path / "absent.exe").string().c_str()));

    // A hit whose full path does not fit the 260-byte area counts as not found.
    fs::path deep = dir.path / std::string(120, 'd') / std::string(120, 'e');
    copy_standin(deep / "deeptool.exe");
    ASSERT_GT((deep / "deeptool.exe").string().size(), 259u);
    std::string deep_dir = deep.string();
    env_scope deep_env{{"PATH", deep_dir.c_str()}};
    EXPECT_FALSE(platform_search_path("deeptool"));
}

TEST(Win32Shell, ExitCodesAsTheRunnerReadsThem)
{
    struct row {
        const char* command;
        int status;
    } rows[] = {
        {"exit 0", 0},
        {"exit 255", 255 << 8},
        {"exit 9009", 127 << 8},  // the interpreter's "not recognized"
        {"exit 256", 255 << 8},   // must not read as success
        {"exit 383", 255 << 8},   // must not read as "not found"
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.command);
        shell_outcome outcome = platform_run_shell(r.command, 30, [](std::string_view) {
            return true;
        });
        EXPECT_TRUE(outcome.started);
        EXPECT_EQ(outcome.status, r.status);
    }
}

TEST(Win32Shell, QuotedProgramWithSpacesAndQuotedArguments)
{
    // More than two quotes on the line: handed over as it stands, the interpreter strips the
    // first and the last one and finds no program. The runner adds a pair around the whole
    // line and /s, so exactly that pair goes.
    scoped_temp_dir dir;
    fs::path program = dir.path / "my probes" / "the probe.exe";
    fs::create_directories(program.parent_path());
    fs::copy_file(windows_path(PROBE_EXE), program);
    std::string command = "\"";
    command += program.string();
    command += "\" print 2 0 \"a b\" 2>NUL";
    for (const char* comspec : {"", "C:\\windows\\system32\\cmd.exe"}) {
        SCOPED_TRACE(comspec[0] ? comspec : "interpreter found by name");
        env_scope env{{"COMSPEC", comspec}};
        std::string out;
        shell_outcome outcome = platform_run_shell(command.c_str(), 30, [&](std::string_view b) {
            out.append(b);
            return true;
        });
        EXPECT_TRUE(outcome.started);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(out, "a ba b");
    }
}

class Win32Run : public PluginRun {
protected:
    scoped_temp_dir answers;

    void SetUp() override
    {
        PluginRun::SetUp();
        platform_setenv("BRELVANE_STANDIN_DIR", answers.path.string().c_str());
        write_text(accounts_file, R"([{"email":"a@x"},{"email":"b@x"},{"email":"c@x"}])");
    }
};

TEST_F(Win32Run, StatusEscapesBackslashPaths)
{
    // The profile folder decides: the accounts file sits below it, joined with backslashes.
    platform_setenv("GOOGLE_ACCOUNTS_FILE", "");
    platform_setenv("GOOGLE_SELECTED_FILE", "");
    std::string profile = node.path.string();
    platform_setenv("USERPROFILE", profile.c_str());
    std::string folder = profile + "\\.config\\google-accounts\\";
    fs::create_directories(folder);
    write_text(folder + "antigravity_accounts.json", R"([{"email":"a@x"}])");
    write_text(folder + "selected_account.txt", "a@x\n");
    run_output result = request("action=status");
    EXPECT_EQ(result.out,
              json_document("{\"ok\":true,\"plugin\":\"plugin_brelvane\",\"version\":\"1.0.3\","
                            "\"selected\":\"a@x\",\"accounts_path\":\"" +
                            json_escaped(folder + "antigravity_accounts.json") +
                            "\",\"selected_path\":\"" + json_escaped(folder) +
                            "selected_account.txt\",\"cli_present\":false,\"count\":1,"
                            "\"accounts\":[{\"email\":\"a@x\",\"has_refresh\":false,"
                            "\"selected\":true}]}\n"));
}

TEST_F(Win32Run, SelectedFileCutAtTheLastBackslash)
{
    platform_setenv("GOOGLE_SELECTED_FILE", "");
    platform_setenv("GOOGLE_ACCOUNTS_FILE", "Z:\\srv/brelvane/accounts.json");
    EXPECT_NE(request("action=status").out.find(
                  "\"accounts_path\":\"Z:\\\\srv/brelvane/accounts.json\","
                  "\"selected_path\":\"Z:\\\\selected_account.txt\""),
              std::string::npos);
}

TEST_F(Win32Run, LongProfileFallsToTheRuntimeEnvironment)
{
    platform_setenv("GOOGLE_ACCOUNTS_FILE", "");
    platform_setenv("GOOGLE_SELECTED_FILE", "");
    struct row {
        const char* name;
        std::size_t length;
    } rows[] = {{"fits the kernel read", 511}, {"too long for it", 512}, {"far too long", 1000}};
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        std::string profile = "C:\\" + std::string(r.length - 3, 'p');
        env_scope env{{"USERPROFILE", profile.c_str()}, {"HOME", "C:\\home"}};
        std::string path =
            (profile + "\\.config\\google-accounts\\antigravity_accounts.json").substr(0, 1023);
        EXPECT_NE(request("action=status").out.find("\"accounts_path\":\"" + json_escaped(path) +
                                                    "\""),
                  std::string::npos);
    }
}

TEST_F(Win32Run, BareToolNameFoundWithItsExeOnPath)
{
    std::string bin = answers.file("bin");
    copy_standin(fs::path(bin) / "tool.exe");
    write_text(answers.file("a@x.json"), canned_answer);
    env_scope env{{"PATH", bin.c_str()}, {"BRELVANE_BIN", "tool"}};
    EXPECT_NE(request("action=status").out.find("\"cli_present\":true"), std::string::npos);
    std::string quota = request("action=quota&account=a@x").out;
    EXPECT_NE(quota.find("\"email\":\"a@x\",\"selected\":false,\"has_refresh\":false,\"ok\":true,"
                         "\"project\":\"p\""),
              std::string::npos)
        << quota;
}

TEST_F(Win32Run, DirectoryOrPathWithoutExtensionIsUnavailable)
{
    std::string bin = answers.file("bin");
    copy_standin(fs::path(bin) / "tool.exe");
    std::string without_extension = bin + "\\tool";
    for (const std::string& tool : {bin, without_extension}) {
        SCOPED_TRACE(tool);
        env_scope env{{"BRELVANE_BIN", tool.c_str()}};
        EXPECT_NE(request("action=status").out.find("\"cli_present\":false"), std::string::npos);
        run_output quota = request("action=quota&account=a@x");
        EXPECT_NE(quota.out.find("\"error\":\"cli_unavailable\""), std::string::npos) << quota.out;
        EXPECT_EQ(quota.exit_code, 1);
    }
}

TEST_F(Win32Run, QuotedToolPathWithSpacesRunsThroughTheInterpreter)
{
    std::string tool = copy_standin(answers.path / "my tools" / "quota tool.exe");
    write_text(answers.file("b@x.json"), canned_answer);
    env_scope env{{"BRELVANE_BIN", tool.c_str()}};
    run_output result = request("action=quota&account=b@x");
    EXPECT_NE(result.out.find("\"email\":\"b@x\",\"selected\":false,\"has_refresh\":false,"
                              "\"ok\":true,\"project\":\"p\""),
              std::string::npos)
        << result.out;
    EXPECT_EQ(result.exit_code, 0);
}

TEST_F(Win32Run, InterpreterNotFoundCountsAsUnavailable)
{
    // The tool exists, but the command it runs does not: the interpreter answers 9009.
    std::string tool = answers.file("tool.cmd");
    write_text(tool, "@brelvane-no-such-command\r\n");
    env_scope env{{"BRELVANE_BIN", tool.c_str()}};
    run_output result = request("action=quota&account=a@x");
    EXPECT_NE(result.out.find("\"error\":\"cli_unavailable\""), std::string::npos) << result.out;
}

TEST_F(Win32Run, HungToolAndItsChildEndedByTheTimeLimit)
{
    // One tool for two accounts. For a@x it starts a background child and then hangs itself,
    // both as copies of the probe that would wait ten minutes. For b@x it tries to delete both
    // copies: Windows refuses to delete the program file of a running process, so a copy that
    // is still there after a few tries belongs to a process the time limit did not end.
    std::string probe = windows_path(PROBE_EXE);
    std::string child = answers.file("background probe.exe");
    std::string hung = answers.file("hung probe.exe");
    fs::copy_file(probe, child);
    fs::copy_file(probe, hung);
    std::string tool = answers.file("hung tool.cmd");
    write_text(tool, "@echo off\r\n"
                     "if %2==\"b@x\" goto check\r\n"
                     "start \"\" /b \"" + child + "\" after 600000 \"" + answers.file("x") + "\"\r\n"
                     "\"" + hung + "\" after 600000 \"" + answers.file("y") + "\"\r\n"
                     "goto :eof\r\n"
                     ":check\r\n"
                     "set tries=0\r\n"
                     ":again\r\n"
                     "del \"" + child + "\" \"" + hung + "\" >NUL 2>NUL\r\n"
                     "if not exist \"" + child + "\" if not exist \"" + hung + "\" goto ended\r\n"
                     "set /a tries+=1\r\n"
                     "if %tries% GEQ 5 goto survived\r\n"
                     "\"" + probe + "\" after 100 \"" + answers.file("pause") + "\"\r\n"
                     "goto again\r\n"
                     ":ended\r\n"
                     "echo {\"ok\":false,\"error\":\"all ended\"}\r\n"
                     "goto :eof\r\n"
                     ":survived\r\n"
                     "echo {\"ok\":false,\"error\":\"still running\"}\r\n");
    env_scope env{{"BRELVANE_BIN", tool.c_str()}, {"BRELVANE_TIMEOUT", "2"}};
    write_text(accounts_file, R"([{"email":"a@x"},{"email":"b@x"}])");
    auto start_time = std::chrono::steady_clock::now();
    run_output result = request("action=quota");
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_time).count();
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_NE(result.out.find("{\"email\":\"a@x\",\"selected\":false,\"has_refresh\":false,"
                              "\"ok\":false,\"error\":\"quota_timeout\",\"detail\":\"the quota "
                              "tool gave no answer within 2 s\"}"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("{\"email\":\"b@x\",\"selected\":false,\"has_refresh\":false,"
                              "\"ok\":false,\"error\":\"all ended\"}"),
              std::string::npos)
        << result.out;
    EXPECT_LT(seconds, 20.0);
}
