// Whole-process cost of the plug-in's routes, as medians over many runs, against a trivial
// static program built in the same tree; and its peak memory.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

struct sample {
    double median_ms;
    long peak_kib;
};

double now_ms()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

std::string peak_rss_tool;

// One run with stdout to /dev/null; returns its wall time.
double run_once(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    double start = now_ms();
    pid_t pid;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        std::perror(args[0]);
        std::exit(2);
    }
    int status;
    waitpid(pid, &status, 0);
    double elapsed = now_ms() - start;
    posix_spawn_file_actions_destroy(&actions);
    return elapsed;
}

// The command's peak memory, measured through the small static helper: a child's figure
// starts at its parent's size, and this benchmark is larger than what it measures.
long peak_kib(const std::vector<std::string>& argv)
{
    std::string command = "'" + peak_rss_tool + "'";
    for (const std::string& a : argv)
        command += " '" + a + "'";
    command += " 2>&1 >/dev/null";
    std::FILE* p = popen(command.c_str(), "r");
    long kib = -1;
    if (p == nullptr || std::fscanf(p, "%ld", &kib) != 1)
        kib = -1;
    if (p)
        pclose(p);
    return kib;
}

sample measure(const std::vector<std::string>& argv, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(run_once(argv));
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return {times[static_cast<std::size_t>(runs / 2)], peak_kib(argv)};
}

void write_file(const std::string& path, const std::string& text)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

// 64 accounts whose objects carry long tokens, about 4 MiB in all.
std::string big_accounts_file()
{
    std::string token(63 * 1024, 't');  // the file stays just under the 4 MiB read limit
    std::string text = "[";
    for (int i = 0; i < 64; ++i)
        text += "{\"email\":\"user" + std::to_string(i) + "@example.com\",\"refresh_token\":\"" +
                token + "\",\"profile\":{\"email\":\"nested@x\"}},";
    text.back() = ']';
    return text;
}

int failures = 0;

void report(const char* name, const sample& s, const sample& base, double allowance_ms,
            double factor)
{
    double limit = base.median_ms * factor + allowance_ms;
    bool ok = s.median_ms <= limit && s.peak_kib >= 0 && s.peak_kib < 16 * 1024;
    failures += !ok;
    std::printf("%-28s %8.3f ms  %5.2fx baseline  peak %6ld KiB  (limit %.3f ms, 16384 KiB)  %s\n",
                name, s.median_ms, s.median_ms / base.median_ms, s.peak_kib, limit,
                ok ? "ok" : "OVER");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s <plugin> <baseline> <stand-in tool> <peak-rss helper> [runs]\n",
                     argv[0]);
        return 2;
    }
    std::string plugin = argv[1], baseline = argv[2], standin = argv[3];
    peak_rss_tool = argv[4];
    int runs = argc > 5 ? std::atoi(argv[5]) : 300;
    auto dir = std::filesystem::temp_directory_path() / ("brelvane-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::string small = (dir / "small.json").string(), big = (dir / "big.json").string();
    write_file(small, R"([{"email":"a@example.com","refresh_token":"t"},{"email":"b@example.com"}])");
    write_file(big, big_accounts_file());
    write_file((dir / "selected_account.txt").string(), "a@example.com\n");
    write_file((dir / "a@example.com.json").string(),
               R"({"ok":true,"project":"p","buckets":[{"modelId":"gemini-2.5-pro","remainingFraction":0.5,"resetTime":"2030-01-01T00:00:00Z"}]})");
    setenv("GOOGLE_SELECTED_FILE", (dir / "selected_account.txt").c_str(), 1);
    setenv("BRELVANE_BIN", standin.c_str(), 1);
    setenv("BRELVANE_STANDIN_DIR", dir.c_str(), 1);

    sample base = measure({baseline}, runs);
    std::printf("%-28s %8.3f ms  peak %ld KiB  (%d runs each, medians)\n", "baseline", base.median_ms,
                base.peak_kib, runs);
    setenv("QUERY_STRING", "", 1);
    report("page", measure({plugin}, runs), base, 0, 1.5);
    setenv("QUERY_STRING", "action=status", 1);
    setenv("GOOGLE_ACCOUNTS_FILE", small.c_str(), 1);
    report("status, 2 accounts", measure({plugin}, runs), base, 0, 1.5);
    setenv("GOOGLE_ACCOUNTS_FILE", big.c_str(), 1);
    report("status, 64 accounts, 4 MiB", measure({plugin}, runs / 3 + 1), base, 10, 1.5);

    // What the plug-in adds to one account's quota run: the whole request less the tool's own.
    setenv("GOOGLE_ACCOUNTS_FILE", small.c_str(), 1);
    setenv("QUERY_STRING", "action=quota&account=a@example.com", 1);
    sample quota = measure({plugin}, runs);
    sample tool = measure({standin, "--account", "a@example.com", "--json"}, runs);
    double added = quota.median_ms - tool.median_ms;
    bool ok = added <= 3.0;
    failures += !ok;
    std::printf("%-28s %8.3f ms  (request %.3f ms less tool %.3f ms; limit 3.000 ms)  %s\n",
                "quota, added per account", added, quota.median_ms, tool.median_ms,
                ok ? "ok" : "OVER");
    std::filesystem::remove_all(dir);
    return failures == 0 ? 0 : 1;
}
