// Injection attempts end to end: hostile values in the query, the posted body, the accounts
// file and the tool's path. The stand-in's call log proves what reached the tool's command
// line; the selected-account file's bytes prove what reached the node.
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "fuzz/json_check.h"
#include "tests/hostile/hostile.h"

namespace fs = std::filesystem;

namespace {

// The addresses of the accounts file that pass the address test.
const std::set<std::string> listed = {"a@x.org", "b@x.org", "--json@x.org"};

// Shell fragments that create a marker file if any shell ever runs them.
std::vector<std::string> payloads(const std::string& marker)
{
    std::string touch = "touch " + marker;
    return {
        "a@x.org\"; " + touch + "; \"",
        "a@x.org\" && " + touch + " #",
        "$(" + touch + ")@x.org",
        "`" + touch + "`@x.org",
        "a@x.org;" + touch,
        "a@x.org|" + touch,
        "a@x.org&&" + touch,
        "a@x.org\n" + touch,
        "a@x.org\r\n--account\nb@x.org",
        "a@x.org' '--help",
        "a@x.org\\\"; " + touch + ";\\\"",
        "a@x.org --json --account b@x.org",
        "a@x.org\t-x",
        "${IFS}" + touch + "@x.org",
        "a@x.org>" + marker,
        "a@x.org<" + marker,
        std::string(300, 'a') + "@x.org\"; " + touch,
        std::string(5000, '"') + "@x.org",
    };
}

std::string percent_encode(const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string json_string(const std::string& text)
{
    buf b;
    buf_json(b, text.c_str());
    return std::string(b.view());
}

class Injection : public HostileRun {
protected:
    std::string marker_name = "INJECTED-" + std::to_string(getpid());
    std::string marker_path = node.file(marker_name);

    void SetUp() override
    {
        HostileRun::SetUp();
        // Addresses built to break out of the command line sit beside the real ones; only the
        // ones that pass the address test may ever be listed.
        std::string accounts = "[";
        for (const char* email : {"a@x.org", "b@x.org", "--json@x.org"})
            accounts += "{\"email\":" + json_string(email) + "},";
        for (const std::string& hostile : payloads(marker_path))
            accounts += "{\"email\":" + json_string(hostile) + ",\"refresh_token\":\"t\"},";
        // An apostrophe is a byte the address test refuses: never listed either.
        accounts += "{\"email\":\"o'k@x.org\"}]";
        write_text(accounts_file, accounts);
        write_text(selected_file, "b@x.org\n");
        for (const std::string& email : listed)
            tool_answers(email, canned_answer(0.5, 0.5));
        // Working folder of the plug-in and so of its shell: a relative marker lands here.
        fs::current_path(node.path);
    }
    void TearDown() override
    {
        fs::current_path(fs::temp_directory_path());
        HostileRun::TearDown();
    }

    // Nothing but listed addresses, each in its own place on the command line, reached the tool;
    // no shell ran a fragment; the selection holds one listed address.
    void expect_nothing_got_in()
    {
        for (const std::vector<std::string>& argv : standin_calls(standin_log)) {
            ASSERT_EQ(argv.size(), 3u) << argv[0];
            EXPECT_EQ(argv[0], "--account");
            EXPECT_TRUE(listed.count(argv[1]) == 1) << "tool got: " << argv[1];
            EXPECT_EQ(argv[2], "--json");
        }
        EXPECT_FALSE(fs::exists(marker_path));
        EXPECT_FALSE(fs::exists(node.path / "INJECTED"));
        std::string selected = read_text(selected_file);
        ASSERT_FALSE(selected.empty());
        EXPECT_EQ(selected.back(), '\n');
        EXPECT_TRUE(listed.count(selected.substr(0, selected.size() - 1)) == 1) << selected;
        EXPECT_EQ(selected.find('\n'), selected.size() - 1);
    }
};

}  // namespace

TEST_F(Injection, AccountsFileAddressesNeverReachTheTool)
{
    run_output status = request("action=status");
    EXPECT_TRUE(is_strict_json(status.out.substr(json_header_block.size())));
    EXPECT_NE(status.out.find("\"count\":3,"), std::string::npos) << status.out;
    run_output all = request("action=quota");
    EXPECT_EQ(all.exit_code, 0);
    EXPECT_TRUE(is_strict_json(all.out.substr(json_header_block.size())));
    auto calls = standin_calls(standin_log);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0][1], "a@x.org");
    EXPECT_EQ(calls[1][1], "b@x.org");
    // An address may begin with "-": it still arrives as the value of --account.
    EXPECT_EQ(calls[2][1], "--json@x.org");
    expect_nothing_got_in();
}

TEST_F(Injection, QueryValuesNeverReachTheToolOrTheSelection)
{
    for (const std::string& value : payloads(marker_path)) {
        std::string encoded = percent_encode(value);
        for (const char* form : {"action=quota&account=", "action=switch&account=",
                                 "action=switch&email=", "format=json&account="}) {
            std::string query = form + encoded;
            SCOPED_TRACE(query.substr(0, 120));
            run_output end = request(query.c_str());
            EXPECT_EQ(end.exit_code, 1) << end.out;
            EXPECT_EQ(end.signal, 0);
            EXPECT_EQ(end.out.rfind("Status: 400 Bad Request\r\n", 0) == 0 ||
                          end.out.rfind("Status: 404 Not Found\r\n", 0) == 0,
                      true)
                << end.out;
            std::size_t body = end.out.find("\r\n\r\n");
            ASSERT_NE(body, std::string::npos);
            EXPECT_TRUE(is_strict_json(end.out.substr(body + 4))) << end.out;
        }
    }
    EXPECT_TRUE(standin_calls(standin_log).empty());
    expect_nothing_got_in();
}

// A decoded NUL ends the text: what follows it is simply not there for anybody.
TEST_F(Injection, EncodedNulCutsTheValue)
{
    std::string tail = percent_encode("; touch " + marker_path);
    run_output sw = request(("action=switch&account=a%40x.org%00" + tail).c_str());
    EXPECT_EQ(sw.exit_code, 0) << sw.out;
    EXPECT_EQ(read_text(selected_file), "a@x.org\n");
    run_output quota = request(("action=quota&account=b%40x.org%00" + tail).c_str());
    EXPECT_EQ(quota.exit_code, 0) << quota.out;
    auto calls = standin_calls(standin_log);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0][1], "b@x.org");
    expect_nothing_got_in();
}

TEST_F(Injection, PostedBodiesNeverReachTheSelection)
{
    std::vector<std::string> bodies;
    for (const std::string& value : payloads(marker_path)) {
        bodies.push_back("{\"account\":" + json_string(value) + "}");
        bodies.push_back("{\"account\":null,\"email\":" + json_string(value) + "}");
    }
    bodies.push_back(R"({"account":"a@x.org\u0000; touch INJECTED"})");
    bodies.push_back(R"({"account":"a@x.org\n"})");
    bodies.push_back(R"({"account":["a@x.org"]})");
    bodies.push_back(R"({"account":{"email":"a@x.org"}})");
    bodies.push_back("{\"account\":\"a@x.org" + std::string(5000, 'x') + "\"}");
    bodies.push_back("account=a%40x.org");
    bodies.push_back(std::string(4095, '{') + R"("account":"a@x.org"})");
    for (const std::string& body : bodies) {
        SCOPED_TRACE(body.substr(0, 120));
        std::string length = std::to_string(body.size());
        platform_setenv("CONTENT_LENGTH", length.c_str());
        run_output end = request("action=switch", body);
        EXPECT_EQ(end.exit_code, 1) << end.out;
        EXPECT_EQ(end.signal, 0);
        // The body file route takes the same bodies.
        std::string body_file = node.file("body.json");
        write_text(body_file, body);
        platform_setenv("CONTENT_LENGTH", "");
        platform_setenv("POST_BODY_FILE", body_file.c_str());
        EXPECT_EQ(request("action=switch").exit_code, 1);
        platform_setenv("POST_BODY_FILE", "");
    }
    for (const char* stated : {"-1", "99999999999999999999", "4096", "0x10", " 12", "abc"}) {
        platform_setenv("CONTENT_LENGTH", stated);
        run_output end = request("action=switch", R"({"account":"a@x.org"})");
        EXPECT_EQ(end.signal, 0) << stated;
        // None of these states a length that covers the whole body.
        EXPECT_EQ(end.exit_code, 1) << stated << end.out;
    }
    EXPECT_EQ(read_text(selected_file), "b@x.org\n");
    expect_nothing_got_in();
}

// The hostile selected-account file of a node: never shown as a selection, never used.
TEST_F(Injection, SelectedFileContentIsOnlyEverAnAddress)
{
    for (const std::string& value : payloads(marker_path)) {
        write_text(selected_file, value + "\n");
        run_output end = request("action=status");
        EXPECT_NE(end.out.find("\"selected\":\"\","), std::string::npos) << value;
    }
    write_text(selected_file, "b@x.org\n");
    expect_nothing_got_in();
}

// The tool's path is the operator's, and is run exactly as written, whatever it holds.
TEST_F(Injection, ToolPathWithShellCharactersRunsExactly)
{
    std::string folder = node.file("tool dir $HOME `id` $(id) \"dq\" 'sq' \\ end");
    fs::create_directory(folder);
    std::string tool = folder + "/quota tool $PATH `touch " + marker_name + "`";
    fs::copy_file(STANDIN_EXE, tool);
    fs::permissions(tool, fs::perms::owner_all);
    platform_setenv("BRELVANE_BIN", tool.c_str());
    run_output status = request("action=status");
    EXPECT_NE(status.out.find("\"cli_present\":true"), std::string::npos) << status.out;
    run_output quota = request("action=quota&account=a%40x.org");
    EXPECT_EQ(quota.exit_code, 0);
    EXPECT_NE(quota.out.find("\"ok\":true,\"project\":\"p\""), std::string::npos) << quota.out;
    auto calls = standin_calls(standin_log);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], (std::vector<std::string>{"--account", "a@x.org", "--json"}));
    expect_nothing_got_in();
}
