// Stand-in quota tool: answers "--account <email> --json" from canned files, for tests and the demo.
//
// BRELVANE_STANDIN_DIR names a folder of canned answers. For account E the tool prints E.json
// verbatim; without that file it prints {"ok":false,"error":"no canned answer"} and exits 1.
// An optional E.behave beside it holds one directive per line (blank lines and lines starting
// with "#" are skipped; an unknown or malformed directive makes the tool fail with exit code 2,
// so a typo in a test fixture cannot pass unnoticed):
//   sleep_ms N    wait N milliseconds before printing anything
//   exit N        exit code after the answer (0 to 255, default 0)
//   log N         print N lines "progress: step k" (k = 1..N) before the answer
//   size N        print exactly N bytes of answer: padded with spaces, or cut
//   hang          after printing, keep running for a long time (standin_linger_seconds)
//   orphan        after printing, leave a child that holds stdout open for a long time; exit 0
//   close_early   after printing, close stdout and keep running for a long time
//   die_after N   print the first N bytes of the answer, then kill itself (SIGKILL on POSIX)
//
// BRELVANE_STANDIN_LOG, when set, names a file that gets one JSON line per call, written before
// anything else happens: {"argv":[...],"env":{...}} with the arguments after argv[0] and the
// value (or null) of each variable in logged_env_names. Every byte at or above 0x80 is written
// as "\u00XX", one code point per byte, so a reader recovers the exact bytes by encoding the
// decoded text as Latin-1.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

// Operating-system services, implemented once per OS (tools/standin_posix.cpp).
void standin_stdout_binary();
void standin_sleep_ms(long milliseconds);
// Starts a child that keeps the inherited stdout open for the given time; false if none started.
[[nodiscard]] bool standin_leave_lingering_child(long seconds);
// Closes the process's standard output at the OS level, so the reader sees end of output.
void standin_close_stdout();
[[noreturn]] void standin_kill_self();

namespace {

// Long enough for any test of a stuck tool, short enough that nothing lingers for good.
constexpr long standin_linger_seconds = 600;
constexpr long standin_max_sleep_ms = 3'600'000;
constexpr long standin_max_log_lines = 1'000'000;
constexpr long standin_max_size_bytes = 256L * 1024 * 1024;

constexpr std::string_view no_answer_text = "{\"ok\":false,\"error\":\"no canned answer\"}\n";

constexpr const char* logged_env_names[] = {
    "ACTIVE_PROFILE",    "GOOGLE_ACCESS_TOKEN", "GOOGLE_REMOTE_URL",   "GOOGLE_PROJECT_ID",
    "GOOGLE_ACCOUNT",    "GOOGLE_TOKEN_SOURCE", "GOOGLE_ACCOUNTS_FILE",
};

struct behaviour {
    long sleep_ms = 0;
    long exit_code = 0;
    long log_lines = 0;
    long size_bytes = -1;  // -1: print the answer as it is
    long die_after = -1;   // -1: do not die
    bool hang = false;
    bool orphan = false;
    bool close_early = false;
};

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

[[nodiscard]] bool read_whole_file(const std::string& path, std::string& out) {
    file_ptr f(std::fopen(path.c_str(), "rb"));
    if (!f) return false;
    out.clear();
    char piece[8192];
    std::size_t n = 0;
    while ((n = std::fread(piece, 1, sizeof piece, f.get())) > 0) out.append(piece, n);
    return std::ferror(f.get()) == 0;
}

[[nodiscard]] bool write_stdout(std::string_view bytes) {
    if (bytes.empty()) return true;
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
           std::fflush(stdout) == 0;
}

void json_add_string(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b >= 0x7f) {
            out += "\\u00";
            out += hex[b >> 4];
            out += hex[b & 0xf];
        } else {
            out += c;
        }
    }
    out += '"';
}

void append_call_log(const char* log_path, int argc, char** argv) {
    std::string line = "{\"argv\":[";
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ',';
        json_add_string(line, argv[i]);
    }
    line += "],\"env\":{";
    bool first = true;
    for (const char* name : logged_env_names) {
        if (!first) line += ',';
        first = false;
        json_add_string(line, name);
        line += ':';
        const char* value = std::getenv(name);
        if (value) {
            json_add_string(line, value);
        } else {
            line += "null";
        }
    }
    line += "}}\n";
    // Unbuffered append: the line goes out in one write, so concurrent calls do not interleave.
    file_ptr f(std::fopen(log_path, "ab"));
    if (!f) return;
    std::setvbuf(f.get(), nullptr, _IONBF, 0);
    (void)std::fwrite(line.data(), 1, line.size(), f.get());
}

// A non-negative decimal of at most `max`; anything else fails.
[[nodiscard]] bool parse_count(std::string_view text, long max, long& out) {
    if (text.empty() || text.size() > 12) return false;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value > max) return false;
    out = value;
    return true;
}

std::string_view trim(std::string_view s) {
    auto is_space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
    return s;
}

[[nodiscard]] bool apply_directive(std::string_view line, behaviour& b) {
    const std::size_t space = line.find_first_of(" \t");
    const std::string_view word = line.substr(0, space);
    const std::string_view arg = space == std::string_view::npos ? "" : trim(line.substr(space));
    bool* flag = word == "hang"          ? &b.hang
                 : word == "orphan"      ? &b.orphan
                 : word == "close_early" ? &b.close_early
                                         : nullptr;
    if (flag) {
        *flag = true;
        return arg.empty();
    }
    if (word == "sleep_ms") return parse_count(arg, standin_max_sleep_ms, b.sleep_ms);
    if (word == "exit") return parse_count(arg, 255, b.exit_code);
    if (word == "log") return parse_count(arg, standin_max_log_lines, b.log_lines);
    if (word == "size") return parse_count(arg, standin_max_size_bytes, b.size_bytes);
    if (word == "die_after") return parse_count(arg, standin_max_size_bytes, b.die_after);
    return false;
}

// Reads the directives; returns 0 when all were understood, else the number of the bad line.
[[nodiscard]] int parse_behaviour(std::string_view text, behaviour& b) {
    int line_number = 0;
    while (!text.empty()) {
        ++line_number;
        const std::size_t end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (!apply_directive(line, b)) return line_number;
    }
    return 0;
}

// The account becomes a file name: refuse anything that could leave the answers folder.
[[nodiscard]] bool is_plain_file_name(std::string_view name) {
    return !name.empty() && name.front() != '.' && name.find('/') == std::string_view::npos &&
           name.find('\\') == std::string_view::npos;
}

[[nodiscard]] bool parse_arguments(int argc, char** argv, std::string_view& account) {
    bool has_account = false;
    bool has_json = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--json") {
            has_json = true;
        } else if (arg == "--account" && i + 1 < argc) {
            account = argv[++i];
            has_account = true;
        } else {
            return false;
        }
    }
    return has_account && has_json;
}

int fail(std::string_view error_json, int code) {
    (void)write_stdout(error_json);
    return code;
}

void linger() { standin_sleep_ms(standin_linger_seconds * 1000); }

int answer(std::string text, const behaviour& b) {
    standin_sleep_ms(b.sleep_ms);
    char line[64];
    for (long k = 1; k <= b.log_lines; ++k) {
        const int n = std::snprintf(line, sizeof line, "progress: step %ld\n", k);
        if (!write_stdout(std::string_view(line, static_cast<std::size_t>(n)))) return 1;
    }
    if (b.size_bytes >= 0) text.resize(static_cast<std::size_t>(b.size_bytes), ' ');
    if (b.die_after >= 0) {
        const auto keep = std::min(text.size(), static_cast<std::size_t>(b.die_after));
        (void)write_stdout(std::string_view(text).substr(0, keep));
        standin_kill_self();
    }
    if (!write_stdout(text)) return 1;
    if (b.orphan) return standin_leave_lingering_child(standin_linger_seconds) ? 0 : 1;
    if (b.close_early) {
        standin_close_stdout();
        linger();
    } else if (b.hang) {
        linger();
    }
    return static_cast<int>(b.exit_code);
}

}  // namespace

int main(int argc, char** argv) {
    standin_stdout_binary();
    if (const char* log_path = std::getenv("BRELVANE_STANDIN_LOG"); log_path && *log_path) {
        append_call_log(log_path, argc, argv);
    }
    std::string_view account;
    if (!parse_arguments(argc, argv, account)) {
        return fail("{\"ok\":false,\"error\":\"usage: --account <email> --json\"}\n", 2);
    }
    const char* dir = std::getenv("BRELVANE_STANDIN_DIR");
    std::string text;
    if (!dir || !*dir || !is_plain_file_name(account)) return fail(no_answer_text, 1);
    const std::string base = std::string(dir) + "/" + std::string(account);
    if (!read_whole_file(base + ".json", text)) return fail(no_answer_text, 1);

    behaviour b;
    std::string directives;
    if (read_whole_file(base + ".behave", directives)) {
        if (const int bad = parse_behaviour(directives, b); bad != 0) {
            char message[96];
            std::snprintf(message, sizeof message,
                          "{\"ok\":false,\"error\":\"bad directive on line %d of .behave\"}\n", bad);
            return fail(message, 2);
        }
    }
    return answer(std::move(text), b);
}
