// The status and switch actions as a client sees them, byte for byte.
#include <cerrno>
#include <filesystem>
#include <string>

#include "front/output.h"
#include "platform/platform.h"
#include "quota/quota_tool.h"
#include "tests/e2e/e2e.h"

namespace {

// A path as the status document writes it: Windows paths hold backslashes, which JSON escapes.
std::string json_path(const std::string& path)
{
    std::string escaped;
    for (char c : path) {
        if (c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string status_body(const std::string& selected, const std::string& accounts_path,
                        const std::string& selected_path, bool cli, const std::string& entries,
                        int count)
{
    return "{\"ok\":true,\"plugin\":\"plugin_brelvane\",\"version\":\"1.0.3\",\"selected\":\"" +
           selected + "\",\"accounts_path\":\"" + json_path(accounts_path) +
           "\",\"selected_path\":\"" + json_path(selected_path) +
           "\",\"cli_present\":" + (cli ? "true" : "false") +
           ",\"count\":" + std::to_string(count) + ",\"accounts\":[" + entries + "]}\n";
}

const char* two_accounts =
    R"([{"email":"a@x","refresh_token":"t"},{"email":"b@x"},{"email":"bad address"}])";

}  // namespace

TEST_F(PluginRun, StatusWithoutFiles)
{
    run_output result = request("action=status");
    EXPECT_EQ(result.out, json_document(status_body("", accounts_file, selected_file, false, "", 0)));
    EXPECT_EQ(result.exit_code, 0);
}

TEST_F(PluginRun, StatusListsAccountsAndSelection)
{
    write_text(accounts_file, two_accounts);
    write_text(selected_file, "b@x\r\n");
    platform_setenv("BRELVANE_BIN", STANDIN_EXE);
    run_output result = request("action=status");
    EXPECT_EQ(result.out,
              json_document(status_body(
                  "b@x", accounts_file, selected_file, true,
                  "{\"email\":\"a@x\",\"has_refresh\":true,\"selected\":false},"
                  "{\"email\":\"b@x\",\"has_refresh\":false,\"selected\":true}",
                  2)));
}

TEST_F(PluginRun, StatusReportsSelectionOutsideTheTable)
{
    write_text(accounts_file, two_accounts);
    write_text(selected_file, "gone@x\n");
    run_output result = request("format=html");
    EXPECT_NE(result.out.find("\"selected\":\"gone@x\""), std::string::npos);
    EXPECT_EQ(result.out.find("\"selected\":true"), std::string::npos);
}

TEST_F(PluginRun, StatusToolPresence)
{
    scoped_temp_dir bin;
    struct row {
        const char* name;
        std::string tool;
        bool present;
    } rows[] = {
        {"stand-in by path", STANDIN_EXE, true},
        {"missing path", bin.file("nothing-here"), false},
        {"directory", bin.path.string(), false},
        {"default name not on PATH", "", false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        env_scope env{{"BRELVANE_BIN", r.tool.c_str()}, {"PATH", bin.path.string().c_str()}};
        run_output result = request("action=status");
        EXPECT_NE(result.out.find(r.present ? "\"cli_present\":true" : "\"cli_present\":false"),
                  std::string::npos);
    }
}

TEST_F(PluginRun, StatusFindsABareToolNameOnPath)
{
    scoped_temp_dir bin;
    // With the executable suffix of the platform (".exe" on Windows), as a search would find it.
    std::string suffix = std::filesystem::path(STANDIN_EXE).extension().string();
    std::filesystem::copy_file(STANDIN_EXE, bin.file("norvanta-brelvane" + suffix));
    std::string path = bin.path.string();
    env_scope env{{"PATH", path.c_str()}};
    EXPECT_NE(request("action=status").out.find("\"cli_present\":true"), std::string::npos);
}

TEST_F(PluginRun, SwitchFromQueryRewritesTheSelection)
{
    write_text(accounts_file, two_accounts);
    write_text(selected_file, "a@x\n");
    run_output result = request("action=switch&account=b%40x");
    EXPECT_EQ(result.out, json_document("{\"ok\":true,\"selected\":\"b@x\"}\n"));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(read_text(selected_file), "b@x\n");
    EXPECT_NE(request("action=status").out.find(
                  "{\"email\":\"b@x\",\"has_refresh\":false,\"selected\":true}"),
              std::string::npos);
}

TEST_F(PluginRun, SwitchRefusals)
{
    write_text(accounts_file, R"([{"email":"a+b@x"},{"email":"c@x"}])");
    write_text(selected_file, "c@x\n");
    struct row {
        const char* name;
        const char* query;
        std::string out;
    } rows[] = {
        {"no account", "action=switch",
         envelope("400 Bad Request", "{\"ok\":false,\"error\":\"missing_account\",\"detail\":"
                                     "\"pass ?account=<email>\"}\n")},
        {"empty account hides email", "action=switch&account=&email=c%40x",
         envelope("400 Bad Request", "{\"ok\":false,\"error\":\"missing_account\",\"detail\":"
                                     "\"pass ?account=<email>\"}\n")},
        {"plus decodes to space", "action=switch&account=a+b@x",
         envelope("400 Bad Request",
                  "{\"ok\":false,\"error\":\"invalid_account\",\"detail\":\"a b@x\"}\n")},
        {"not listed", "action=switch&email=z@x",
         envelope("404 Not Found",
                  "{\"ok\":false,\"error\":\"unknown_account\",\"detail\":\"z@x\"}\n")},
        {"shell characters", "action=switch&account=%24(touch%20x)%40x",
         envelope("400 Bad Request",
                  "{\"ok\":false,\"error\":\"invalid_account\",\"detail\":\"$(touch x)@x\"}\n")},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        run_output result = request(r.query);
        EXPECT_EQ(result.out, r.out);
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_EQ(read_text(selected_file), "c@x\n");
    }
    EXPECT_EQ(request("action=switch&account=a%2Bb@x").out,
              json_document("{\"ok\":true,\"selected\":\"a+b@x\"}\n"));
}

TEST_F(PluginRun, SwitchFromPostedBody)
{
    write_text(accounts_file, two_accounts);
    struct row {
        const char* name;
        const char* content_length;
        std::string body;
        const char* body_file_content;
        const char* selected;  // null: refused as missing
    } rows[] = {
        {"body", "23", "{\"account\":\"b@x\"}     ", nullptr, "b@x"},
        {"email after null account", "34", "{\"account\":null,\"email\":\"a@x\"}  ", nullptr, "a@x"},
        {"empty account string", "30", "{\"account\":\"\",\"email\":\"a@x\"}", nullptr, nullptr},
        {"stated length longer than body", "4000", "{\"account\":\"b@x\"}", nullptr, "b@x"},
        {"length too large, body file used", "5000", "", "{\"email\":\"a@x\"}", "a@x"},
        {"length too large, no file", "5000", "{\"account\":\"b@x\"}", nullptr, nullptr},
        {"form body", "13", "account=b%40x", nullptr, nullptr},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        std::string body_file = node.file("body.json");
        if (r.body_file_content)
            write_text(body_file, r.body_file_content);
        env_scope env{{"CONTENT_LENGTH", r.content_length},
                      {"POST_BODY_FILE", r.body_file_content ? body_file.c_str() : nullptr}};
        run_output result = request("action=switch", r.body);
        if (r.selected) {
            EXPECT_EQ(result.out,
                      json_document(std::string("{\"ok\":true,\"selected\":\"") + r.selected +
                                    "\"}\n"));
            EXPECT_EQ(read_text(selected_file), std::string(r.selected) + "\n");
        } else {
            EXPECT_NE(result.out.find("\"missing_account\""), std::string::npos) << result.out;
        }
    }
}

TEST_F(PluginRun, SwitchIgnoresBodyFieldsBeyondTheFirst4095Bytes)
{
    write_text(accounts_file, two_accounts);
    std::string body_file = node.file("body.json");
    write_text(body_file, "{\"pad\":\"" + std::string(9980, ' ') + "\",\"account\":\"a@x\"}");
    env_scope env{{"POST_BODY_FILE", body_file.c_str()}};
    EXPECT_NE(request("action=switch").out.find("\"missing_account\""), std::string::npos);
}

TEST_F(PluginRun, SwitchIntoMissingDirectoryFailsCleanly)
{
    write_text(accounts_file, two_accounts);
    std::string missing = node.file("no-such-dir/selected_account.txt");
    env_scope env{{"GOOGLE_SELECTED_FILE", missing.c_str()}};
    run_output result = request("action=switch&account=a@x");
    EXPECT_EQ(result.out, envelope("500 Internal Server Error",
                                   "{\"ok\":false,\"error\":\"write_failed\",\"detail\":\"" +
                                       std::string(platform_error_text(ENOENT)) + "\"}\n"));
    EXPECT_EQ(result.exit_code, 1);
}

TEST_F(PluginRun, FailedSwitchLeavesTheOldSelectionAndNoTemporaryFile)
{
    write_text(accounts_file, two_accounts);
    write_text(selected_file, "a@x\n");
    // The target is a non-empty directory: the new content cannot take its place.
    std::string blocked = node.file("blocked");
    std::filesystem::create_directories(blocked + "/inside");
    env_scope env{{"GOOGLE_SELECTED_FILE", blocked.c_str()}};
    run_output result = request("action=switch&account=b@x");
    EXPECT_NE(result.out.find("\"write_failed\""), std::string::npos) << result.out;
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(node.path))
        entries += entry.path().filename().string().find(".tmp") != std::string::npos;
    EXPECT_EQ(entries, 0);
    EXPECT_EQ(read_text(selected_file), "a@x\n");
}

TEST_F(PluginRun, SwitchReadsABodyThatArrivesInTwoPieces)
{
    if (!platform_shell_must_escape('$'))
        GTEST_SKIP() << "needs a POSIX shell to deliver the body in pieces";
    write_text(accounts_file, two_accounts);
    platform_setenv("QUERY_STRING", "action=switch");
    platform_setenv("CONTENT_LENGTH", "17");
    char exe[1024];
    shell_quote_into(PLUGIN_EXE, exe, sizeof exe);
    std::string command = std::string("(printf '{\"account\"'; sleep 0.3; printf ':\"b@x\"}') | ") + exe;
    std::string out;
    shell_outcome run = platform_run_shell(command.c_str(), 30, [&](std::string_view bytes) {
        out.append(bytes);
        return true;
    });
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(out, json_document("{\"ok\":true,\"selected\":\"b@x\"}\n"));
    EXPECT_EQ(read_text(selected_file), "b@x\n");
}
