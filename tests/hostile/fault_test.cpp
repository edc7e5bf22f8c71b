// Faults around the plug-in: unreadable, oversized and misplaced files, a full disk under the
// switch, quota tools that die or stall, and clients that go away before reading the answer.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include "fuzz/json_check.h"
#include "tests/hostile/hostile.h"

namespace fs = std::filesystem;

namespace {

const std::string accounts_json =
    R"([{"email":"a@x.org","refresh_token":"t"},{"email":"b@x.org"}])";

std::string body_of(const run_output& end)
{
    std::string_view head = json_header_block;
    return end.out.compare(0, head.size(), head) == 0 ? end.out.substr(head.size()) : "";
}

// A file of exactly size bytes: the text, then spaces.
void write_padded(const std::string& path, const std::string& text, std::size_t size)
{
    std::string content = text;
    content.resize(size, ' ');
    write_text(path, content);
}

std::vector<std::string> leftovers(const std::string& directory)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        if (entry.path().string().ends_with(".tmp"))
            names.push_back(entry.path().string());
    return names;
}

// Processes whose command line mentions the marker (the stand-in runs for one test account).
int processes_mentioning(const std::string& marker)
{
    int found = 0;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::string cmdline = read_text((entry.path() / "cmdline").string());
        if (cmdline != "<missing>" && cmdline.find(marker) != std::string::npos &&
            cmdline.find("gtest") == std::string::npos)
            ++found;
    }
    return found;
}

class FileFaults : public HostileRun {
protected:
    void SetUp() override
    {
        HostileRun::SetUp();
        write_text(accounts_file, accounts_json);
        write_text(selected_file, "b@x.org\n");
    }
    // Runs the plug-in as an unprivileged user, for whom file permissions count.
    run_output request_unprivileged(const char* query)
    {
        platform_setenv("QUERY_STRING", query);
        std::string runner = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups "
                                            : "";
        return run_shell(runner + shell_command({PLUGIN_EXE}, true));
    }
    void open_up_for_everyone()
    {
        fs::permissions(node.path, fs::perms::all);
        fs::permissions(accounts_file, fs::perms::owner_all | fs::perms::others_read);
        fs::permissions(selected_file, fs::perms::owner_all | fs::perms::others_read);
    }
};

}  // namespace

TEST_F(FileFaults, UnreadableFilesReadAsMissing)
{
    open_up_for_everyone();
    if (geteuid() == 0 && std::system("setpriv --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "running as root without setpriv: permissions cannot be tested";
    run_output readable = request_unprivileged("action=status");
    if (readable.exit_code == 126 || readable.exit_code == 127)
        GTEST_SKIP() << "the unprivileged user cannot run the build: " << readable.err;
    ASSERT_EQ(readable.exit_code, 0) << readable.err;
    ASSERT_NE(readable.out.find("\"count\":2"), std::string::npos) << readable.out;

    fs::permissions(accounts_file, fs::perms::none);
    fs::permissions(selected_file, fs::perms::none);
    run_output status = request_unprivileged("action=status");
    EXPECT_EQ(status.exit_code, 0) << status.err;
    EXPECT_TRUE(is_strict_json(body_of(status))) << status.out;
    EXPECT_NE(status.out.find("\"selected\":\"\""), std::string::npos);
    EXPECT_NE(status.out.find("\"count\":0,\"accounts\":[]"), std::string::npos);

    run_output quota = request_unprivileged("action=quota&account=a%40x.org");
    EXPECT_EQ(quota.out, envelope_text("404 Not Found", "unknown_account", "a@x.org"));
    EXPECT_EQ(quota.exit_code, 1);
}

TEST_F(FileFaults, SwitchIntoAnUnwritableFolderKeepsTheSelection)
{
    open_up_for_everyone();
    if (geteuid() == 0 && std::system("setpriv --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "running as root without setpriv: permissions cannot be tested";
    if (int ran = request_unprivileged("action=status").exit_code; ran == 126 || ran == 127)
        GTEST_SKIP() << "the unprivileged user cannot run the build";
    fs::permissions(node.path, fs::perms::owner_all | fs::perms::others_read |
                                   fs::perms::others_exec);
    run_output end = request_unprivileged("action=switch&account=a%40x.org");
    EXPECT_EQ(end.out, envelope_text("500 Internal Server Error", "write_failed",
                                     std::strerror(EACCES)));
    EXPECT_EQ(end.exit_code, 1);
    EXPECT_EQ(read_text(selected_file), "b@x.org\n");
    EXPECT_TRUE(leftovers(node.path.string()).empty());
}

TEST_F(FileFaults, OversizedFilesAreNotRead)
{
    constexpr std::size_t limit = 4 * 1024 * 1024;
    write_padded(accounts_file, accounts_json, limit);
    write_padded(selected_file, "b@x.org\n", limit);
    run_output at_limit = request("action=status");
    EXPECT_NE(at_limit.out.find("\"selected\":\"b@x.org\""), std::string::npos);
    EXPECT_NE(at_limit.out.find("\"count\":2"), std::string::npos);

    write_padded(accounts_file, accounts_json, limit + 1);
    write_padded(selected_file, "b@x.org\n", limit + 1);
    run_output over = request("action=status");
    EXPECT_EQ(over.exit_code, 0);
    EXPECT_TRUE(is_strict_json(body_of(over)));
    EXPECT_NE(over.out.find("\"selected\":\"\""), std::string::npos);
    EXPECT_NE(over.out.find("\"count\":0,\"accounts\":[]"), std::string::npos);

    // A body file over the limit is no body; one at the limit gives its first 4095 bytes.
    write_text(accounts_file, accounts_json);
    std::string body_file = node.file("body");
    platform_setenv("POST_BODY_FILE", body_file.c_str());
    write_padded(body_file, R"({"account":"a@x.org"})", limit + 1);
    EXPECT_EQ(request("action=switch").out,
              envelope_text("400 Bad Request", "missing_account", "pass ?account=<email>"));
    write_padded(body_file, R"({"account":"a@x.org"})", limit);
    EXPECT_EQ(request("action=switch").exit_code, 0);
    EXPECT_EQ(read_text(selected_file), "a@x.org\n");
}

TEST_F(FileFaults, FoldersWhereFilesShouldBe)
{
    fs::remove(accounts_file);
    fs::remove(selected_file);
    fs::create_directory(accounts_file);
    fs::create_directory(selected_file);
    run_output status = request("action=status");
    EXPECT_EQ(status.exit_code, 0);
    EXPECT_TRUE(is_strict_json(body_of(status))) << status.out;
    EXPECT_NE(status.out.find("\"selected\":\"\""), std::string::npos);
    EXPECT_NE(status.out.find("\"count\":0"), std::string::npos);

    // The switch cannot replace a folder: the folder stays and no temporary file is left.
    fs::remove(accounts_file);
    write_text(accounts_file, accounts_json);
    run_output sw = request("action=switch&account=a%40x.org");
    EXPECT_EQ(sw.exit_code, 1);
    EXPECT_EQ(sw.out, envelope_text("500 Internal Server Error", "write_failed",
                                    std::strerror(EISDIR)));
    EXPECT_TRUE(fs::is_directory(selected_file));
    EXPECT_TRUE(leftovers(node.path.string()).empty());

    platform_setenv("POST_BODY_FILE", node.path.string().c_str());
    EXPECT_EQ(request("action=switch").out,
              envelope_text("400 Bad Request", "missing_account", "pass ?account=<email>"));
}

// A FIFO where a file should be has no writer: reading it must not wait for one.
TEST_F(FileFaults, FifosWhereFilesShouldBe)
{
    std::string body_file = node.file("body");
    for (const std::string& path : {accounts_file, selected_file, body_file}) {
        fs::remove(path);
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0) << path;
    }
    platform_setenv("QUERY_STRING", "action=status");
    run_output status = run_shell(shell_command({PLUGIN_EXE}, true), {}, 20);
    EXPECT_FALSE(status.timed_out);
    EXPECT_EQ(status.exit_code, 0);
    EXPECT_NE(status.out.find("\"selected\":\"\""), std::string::npos) << status.out;
    EXPECT_NE(status.out.find("\"count\":0"), std::string::npos);

    platform_setenv("QUERY_STRING", "action=switch");
    platform_setenv("POST_BODY_FILE", body_file.c_str());
    run_output sw = run_shell(shell_command({PLUGIN_EXE}, true), {}, 20);
    EXPECT_FALSE(sw.timed_out);
    EXPECT_EQ(sw.out, envelope_text("400 Bad Request", "missing_account", "pass ?account=<email>"));
}

// A small file system of its own, filled to the last block, in a private mount namespace: the
// switch must report "write_failed" and leave the old selection as it was.
TEST_F(FileFaults, SwitchOnAFullDiskKeepsTheSelection)
{
    if (std::system("unshare -m true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no private mount namespace here (needs root and unshare)";
    for (const char* fill : {"blocks", "inodes"}) {
        SCOPED_TRACE(fill);
        std::string disk = node.file(std::string("disk-") + fill);
        fs::create_directory(disk);
        std::string out_dir = node.file(std::string("out-") + fill);
        fs::create_directory(out_dir);
        std::string filler = std::string(fill) == "blocks"
            ? "dd if=/dev/zero of=\"$D/fill\" bs=4k 2>/dev/null"
            : "i=0; while touch \"$D/f$i\" 2>/dev/null; do i=$((i+1)); done";
        std::string script =
            "set -u; D=\"$1\"; O=\"$2\"; mount -t tmpfs -o size=64k,nr_inodes=32 tmpfs \"$D\" || "
            "exit 90; cp \"$3\" \"$D/accounts.json\"; printf 'b@x.org\\n' >\"$D/selected\"; " +
            filler + "; GOOGLE_ACCOUNTS_FILE=\"$D/accounts.json\" GOOGLE_SELECTED_FILE=\"$D/"
            "selected\" QUERY_STRING='action=switch&account=a%40x.org' " +
            shell_command({PLUGIN_EXE}, true) +
            " >\"$O/answer\"; echo $? >\"$O/status\"; cat \"$D/selected\" >\"$O/selected\"; "
            "ls -a \"$D\" >\"$O/listing\"";
        run_output end = run_shell("unshare -m sh -c " + shell_command({script}, false) +
                                    " sh " + shell_command({disk, out_dir, accounts_file}, false));
        ASSERT_EQ(end.exit_code, 0) << end.err;
        EXPECT_EQ(read_text(out_dir + "/answer"),
                  envelope_text("500 Internal Server Error", "write_failed",
                                std::strerror(ENOSPC)));
        EXPECT_EQ(read_text(out_dir + "/status"), "1\n");
        EXPECT_EQ(read_text(out_dir + "/selected"), "b@x.org\n");
        EXPECT_EQ(read_text(out_dir + "/listing").find(".tmp"), std::string::npos);
    }
}

class ToolFaults : public HostileRun {
protected:
    void SetUp() override
    {
        HostileRun::SetUp();
        write_text(accounts_file, R"([{"email":"a@x.org"},{"email":"dies@x.org"}])");
        tool_answers("a@x.org", canned_answer(0.5, 0.25));
    }
};

// Killed by a signal at every interesting point of its answer: the document stays valid JSON,
// the exit status 0, and the other account is unharmed.
TEST_F(ToolFaults, ToolKilledInTheMiddleOfItsOutput)
{
    std::string answer = read_text(std::string(FIXTURE_DIR) + "/quota/fixtures/full_answer.json");
    tool_answers("dies@x.org", answer);
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{40}, answer.size() / 2,
                            answer.size() - 2, answer.size() - 1, answer.size()}) {
        SCOPED_TRACE("die after " + std::to_string(cut) + " bytes");
        write_text(answers.file("dies@x.org.behave"), "die_after " + std::to_string(cut) + "\n");
        run_output one = request("action=quota&account=dies%40x.org");
        EXPECT_EQ(one.exit_code, 0) << one.err;
        EXPECT_TRUE(is_strict_json(body_of(one))) << one.out;
        run_output all = request("action=quota");
        EXPECT_EQ(all.exit_code, 0) << all.err;
        EXPECT_TRUE(is_strict_json(body_of(all))) << all.out;
        EXPECT_NE(all.out.find("{\"email\":\"a@x.org\",\"selected\":false,\"has_refresh\":false,"
                               "\"ok\":true"),
                  std::string::npos);
    }
}

// A tool that closes its output but keeps running is ended at the time limit, with everything
// it started, and reported as timed out.
TEST_F(ToolFaults, ToolThatClosesItsOutputEarlyIsEndedAtTheLimit)
{
    const std::string marker = "lingers" + std::to_string(getpid()) + "@x.org";
    write_text(accounts_file, "[{\"email\":\"" + marker + "\"},{\"email\":\"a@x.org\"}]");
    tool_answers(marker, canned_answer(0.5, 0.5), "close_early\n");
    platform_setenv("BRELVANE_TIMEOUT", "2");
    auto started = std::chrono::steady_clock::now();
    run_output all = request("action=quota");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started)
                         .count();
    EXPECT_EQ(all.exit_code, 0) << all.err;
    EXPECT_TRUE(is_strict_json(body_of(all))) << all.out;
    EXPECT_NE(all.out.find("\"ok\":false,\"error\":\"quota_timeout\""), std::string::npos)
        << all.out;
    EXPECT_NE(all.out.find("{\"email\":\"a@x.org\",\"selected\":false,\"has_refresh\":false,"
                           "\"ok\":true"),
              std::string::npos);
    EXPECT_GE(seconds, 1.9);
    EXPECT_LT(seconds, 20.0);
    EXPECT_EQ(processes_mentioning(marker), 0);
}

namespace {

// Runs the plug-in with its standard output on a pipe; the reader takes keep bytes (all of
// them when keep is negative) and then closes its end. Returns how the plug-in ended.
run_output run_with_reader_that_leaves(long keep)
{
    int fds[2];
    run_output end;
    if (pipe(fds) != 0)
        return end;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        std::string line = shell_command({PLUGIN_EXE}, true) + " </dev/null";
        execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char piece[4096];
    for (long taken = 0; keep < 0 || taken < keep;) {
        std::size_t want = keep < 0 ? sizeof piece
                                    : std::min<std::size_t>(sizeof piece, keep - taken);
        ssize_t r = read(fds[0], piece, want);
        if (r <= 0)
            break;
        end.out.append(piece, static_cast<std::size_t>(r));
        taken += r;
    }
    close(fds[0]);
    int status = 0;
    for (int waited_ms = 0; waited_ms < 60000; waited_ms += 10) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            end.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            return end;
        }
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    end.timed_out = true;
    return end;
}

}  // namespace

class ClientGone : public HostileRun {};

TEST_F(ClientGone, ClosedOutputNeitherCrashesNorHangs)
{
    // Thirty-two accounts with full answers make a document far larger than a pipe holds.
    std::string accounts = "[";
    std::string answer = read_text(std::string(FIXTURE_DIR) + "/quota/fixtures/full_answer.json");
    for (int i = 0; i < 32; ++i) {
        std::string email = "user" + std::to_string(i) + "@x.org";
        if (i > 0)
            accounts += ',';
        accounts += "{\"email\":\"" + email + "\"}";
        tool_answers(email, answer);
    }
    write_text(accounts_file, accounts + "]");
    struct row {
        const char* query;
        int exit_code;
    };
    for (row r : {row{"action=status", 0}, row{"action=quota", 0}, row{"action=nothing", 1},
                  row{"", 0}}) {
        platform_setenv("QUERY_STRING", r.query);
        for (long keep : {0L, 100L, 70000L}) {
            SCOPED_TRACE(std::string(r.query) + ", reader leaves after " + std::to_string(keep));
            run_output end = run_with_reader_that_leaves(keep);
            EXPECT_FALSE(end.timed_out);
            EXPECT_EQ(end.signal, 0);
            EXPECT_EQ(end.exit_code, r.exit_code);
        }
        // Standard output closed before the plug-in starts.
        run_output closed = run_shell(shell_command({PLUGIN_EXE}, true) + " >&-");
        EXPECT_EQ(closed.signal, 0) << r.query;
        EXPECT_EQ(closed.exit_code, r.exit_code) << r.query << closed.err;
    }
    // The whole all-accounts document is valid when somebody does read it.
    platform_setenv("QUERY_STRING", "action=quota");
    run_output whole = run_with_reader_that_leaves(-1);
    EXPECT_GT(whole.out.size(), 70000u);
    EXPECT_TRUE(is_strict_json(body_of(whole)));
}
