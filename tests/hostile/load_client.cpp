// Load client for tools/load_test.sh: concurrent clients mix status, one-account quota and
// switch requests against the local server for a bounded time, while a reader checks the
// selected-account file continuously. Prints the figures; exits 1 when any check failed.
//
//   load_client PORT SECONDS CLIENTS SELECTED_FILE ACCOUNT_A ACCOUNT_B
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

struct settings {
    int port;
    double seconds;
    int clients;
    std::string selected_file;
    std::string account_a;
    std::string account_b;
};

struct tally {
    std::mutex lock;
    std::vector<double> latencies_ms;
    long requests = 0;
    long server_errors = 0;   // 5xx
    long other_statuses = 0;  // neither 200 nor 5xx
    long bad_bodies = 0;      // 200 without the answer the request should give
    long connect_errors = 0;
    long by_kind[3] = {0, 0, 0};
};

struct file_watch {
    std::atomic<long> reads{0};
    std::atomic<long> empty{0};
    std::atomic<long> partial{0};  // neither address-and-LF, nor empty
    std::atomic<long> missing{0};
};

// One HTTP/1.0 exchange: the whole answer as the server sent it, or "" when it failed.
std::string exchange(int port, const std::string& target)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return "";
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
            char piece[16384];
            for (ssize_t r; (r = recv(fd, piece, sizeof piece, 0)) > 0;)
                answer.append(piece, static_cast<std::size_t>(r));
        }
    }
    close(fd);
    return answer;
}

int status_of(const std::string& answer)
{
    // "HTTP/1.x NNN ..."
    if (answer.size() < 12 || answer.compare(0, 5, "HTTP/") != 0)
        return 0;
    return std::atoi(answer.c_str() + 9);
}

std::string body_of(const std::string& answer)
{
    std::size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? "" : answer.substr(end + 4);
}

void run_client(const settings& s, int index, clock_type::time_point stop, tally& t)
{
    const std::string* accounts[] = {&s.account_a, &s.account_b};
    std::vector<double> mine;
    long counts[5] = {0, 0, 0, 0, 0};  // 5xx, other, bad, connect, requests
    long kinds[3] = {0, 0, 0};
    for (long round = index; clock_type::now() < stop; ++round) {
        int kind = static_cast<int>(round % 3);  // status, quota, switch in turn
        const std::string& account = *accounts[(round / 3 + index) % 2];
        std::string encoded = account;
        encoded.replace(encoded.find('@'), 1, "%40");
        std::string target = "/plugin_brelvane?action=";
        std::string expect;
        if (kind == 0) {
            target += "status";
            expect = "{\"ok\":true,\"plugin\":\"plugin_brelvane\"";
        } else if (kind == 1) {
            target += "quota&account=" + encoded;
            expect = "\"account\":{\"email\":\"" + account + "\"";
        } else {
            target += "switch&account=" + encoded;
            expect = "{\"ok\":true,\"selected\":\"" + account + "\"}\n";
        }
        auto started = clock_type::now();
        std::string answer = exchange(s.port, target);
        double ms = std::chrono::duration<double, std::milli>(clock_type::now() - started).count();
        ++counts[4];
        ++kinds[kind];
        int status = status_of(answer);
        if (status == 0)
            ++counts[3];
        else if (status >= 500)
            ++counts[0];
        else if (status != 200)
            ++counts[1];
        else if (body_of(answer).find(expect) == std::string::npos)
            ++counts[2];
        mine.push_back(ms);
        if (status != 200 && counts[0] + counts[1] + counts[3] <= 3)
            std::fprintf(stderr, "load_client: %s answered %d: %.200s\n", target.c_str(), status,
                         answer.c_str());
    }
    std::lock_guard<std::mutex> hold(t.lock);
    t.latencies_ms.insert(t.latencies_ms.end(), mine.begin(), mine.end());
    t.server_errors += counts[0];
    t.other_statuses += counts[1];
    t.bad_bodies += counts[2];
    t.connect_errors += counts[3];
    t.requests += counts[4];
    for (int k = 0; k < 3; ++k)
        t.by_kind[k] += kinds[k];
}

// Reads the selected-account file as fast as it can: every read must see one whole address.
void watch_file(const settings& s, clock_type::time_point stop, file_watch& w)
{
    std::string a = s.account_a + "\n";
    std::string b = s.account_b + "\n";
    char content[512];
    while (clock_type::now() < stop) {
        std::FILE* f = std::fopen(s.selected_file.c_str(), "rb");
        if (f == nullptr) {
            ++w.missing;
            continue;
        }
        std::size_t n = std::fread(content, 1, sizeof content, f);
        std::fclose(f);
        ++w.reads;
        std::string seen(content, n);
        if (n == 0)
            ++w.empty;
        else if (seen != a && seen != b)
            ++w.partial;
    }
}

double percentile(std::vector<double>& values, double p)
{
    if (values.empty())
        return 0.0;
    std::size_t rank = static_cast<std::size_t>(p / 100.0 * static_cast<double>(values.size()));
    rank = std::min(rank, values.size() - 1);
    std::nth_element(values.begin(), values.begin() + static_cast<long>(rank), values.end());
    return values[rank];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 7) {
        std::fprintf(stderr,
                     "usage: load_client PORT SECONDS CLIENTS SELECTED_FILE ACCOUNT_A ACCOUNT_B\n");
        return 2;
    }
    settings s{std::atoi(argv[1]), std::atof(argv[2]), std::atoi(argv[3]), argv[4], argv[5],
               argv[6]};
    if (s.port <= 0 || s.seconds <= 0 || s.seconds > 600 || s.clients < 1 || s.clients > 64) {
        std::fprintf(stderr, "load_client: port, 0 < seconds <= 600, 1 <= clients <= 64\n");
        return 2;
    }
    tally t;
    file_watch w;
    auto begun = clock_type::now();
    auto stop = begun + std::chrono::duration_cast<clock_type::duration>(
                            std::chrono::duration<double>(s.seconds));
    std::vector<std::thread> threads;
    threads.emplace_back(watch_file, std::cref(s), stop, std::ref(w));
    for (int i = 0; i < s.clients; ++i)
        threads.emplace_back(run_client, std::cref(s), i, stop, std::ref(t));
    for (std::thread& th : threads)
        th.join();
    double elapsed = std::chrono::duration<double>(clock_type::now() - begun).count();

    double p50 = percentile(t.latencies_ms, 50);
    double p99 = percentile(t.latencies_ms, 99);
    double worst = t.latencies_ms.empty()
                       ? 0.0
                       : *std::max_element(t.latencies_ms.begin(), t.latencies_ms.end());
    std::printf("duration_s %.1f\nclients %d\n", elapsed, s.clients);
    std::printf("requests %ld (status %ld, quota %ld, switch %ld)\n", t.requests, t.by_kind[0],
                t.by_kind[1], t.by_kind[2]);
    std::printf("requests_per_s %.1f\n", static_cast<double>(t.requests) / elapsed);
    std::printf("latency_ms p50 %.1f p99 %.1f max %.1f\n", p50, p99, worst);
    std::printf("status_5xx %ld\nstatus_other %ld\nbad_bodies %ld\nconnect_errors %ld\n",
                t.server_errors, t.other_statuses, t.bad_bodies, t.connect_errors);
    std::printf("file_reads %ld\nfile_empty %ld\nfile_partial %ld\nfile_missing %ld\n",
                w.reads.load(), w.empty.load(), w.partial.load(), w.missing.load());
    bool clean = t.requests > 0 && t.server_errors == 0 && t.other_statuses == 0 &&
                 t.bad_bodies == 0 && t.connect_errors == 0 && w.reads > 0 && w.empty == 0 &&
                 w.partial == 0 && w.missing == 0;
    std::printf("load_client: %s\n", clean ? "clean" : "FAILED");
    return clean ? 0 : 1;
}
