// The quota tool: selection, availability, quoting, the child's environment and one run.
#include "quota/quota_tool.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "accounts/account_list.h"
#include "front/output.h"
#include "platform/platform.h"

namespace {

constexpr std::size_t quoted_tool_capacity = 512;
constexpr std::size_t quoted_email_capacity = 272;
constexpr std::size_t command_capacity = 4096;
// The tool's output arrives in pieces of at most this many bytes less one, each ending at a
// line feed or where the area is full; the output limit drops whole pieces.
constexpr std::size_t piece_capacity = 2048;
constexpr int timeout_max_seconds = 3600;

// BRELVANE_TIMEOUT in whole seconds, 1 to 3600; anything else means the default.
int timeout_seconds()
{
    const char* text = platform_getenv("BRELVANE_TIMEOUT");
    if (text == nullptr || text[0] < '0' || text[0] > '9')
        return quota_timeout_default_seconds;
    long value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9' || value > timeout_max_seconds)
            return quota_timeout_default_seconds;
        value = value * 10 + (*p - '0');
    }
    return value >= 1 && value <= timeout_max_seconds ? static_cast<int>(value)
                                                      : quota_timeout_default_seconds;
}

// Cuts the stream into the pieces a line reader would return and keeps the whole pieces that
// fit under the output limit. Returns false once a piece crosses it.
struct piece_collector {
    buf& output;
    char piece[piece_capacity];
    std::size_t piece_length = 0;
    std::size_t total = 0;

    bool take(std::string_view bytes)
    {
        for (char c : bytes) {
            piece[piece_length++] = c;
            if ((c == '\n' || piece_length == piece_capacity - 1) && !finish_piece())
                return false;
        }
        return true;
    }
    bool finish_piece()
    {
        // A line reader's piece ends at its first NUL for whoever measures it with strlen.
        std::size_t length = strnlen(piece, piece_length);
        piece_length = 0;
        total += length;
        if (total > quota_output_max)
            return false;
        (void)buf_add(output, piece, length);  // a piece memory cannot hold is lost
        return true;
    }
};

}  // namespace

const char* quota_bin()
{
    const char* name = platform_getenv("BRELVANE_BIN");
    return name != nullptr && name[0] != '\0' ? name : "norvanta-brelvane";
}

int bin_available(const char* name)
{
    if (name == nullptr || name[0] == '\0')
        return 0;
    return platform_name_is_path(name) ? platform_path_runnable(name) : platform_search_path(name);
}

void shell_quote_into(const char* source, char* dest, std::size_t capacity)
{
    std::size_t p = 0;
    dest[p++] = '"';
    for (const char* s = source ? source : ""; *s; ++s) {
        if (platform_shell_must_escape(*s)) {
            if (p + 3 >= capacity)
                break;
            dest[p++] = '\\';
        } else if (p + 2 >= capacity) {
            break;
        }
        dest[p++] = *s;
    }
    dest[p++] = '"';
    dest[p] = '\0';
}

void quota_tool_environment(const char* accounts_file)
{
    for (const char* name : {"ACTIVE_PROFILE", "GOOGLE_ACCESS_TOKEN", "GOOGLE_REMOTE_URL",
                             "GOOGLE_PROJECT_ID", "GOOGLE_ACCOUNT"})
        platform_setenv(name, "");
    platform_setenv("GOOGLE_TOKEN_SOURCE", "local");
    platform_setenv("GOOGLE_ACCOUNTS_FILE", accounts_file);
}

quota_run run_quota_one(const char* tool, const char* email, buf& output)
{
    int limit = timeout_seconds();
    if (tool == nullptr || tool[0] == '\0' || !is_safe_email(email))
        return {0, false, limit};
    if (!bin_available(tool))
        return {-1, false, limit};
    char quoted_tool[quoted_tool_capacity];
    char quoted_email[quoted_email_capacity];
    char command[command_capacity];
    shell_quote_into(tool, quoted_tool, sizeof quoted_tool);
    shell_quote_into(email, quoted_email, sizeof quoted_email);
    std::snprintf(command, sizeof command, "%s --account %s --json 2>%s", quoted_tool,
                  quoted_email, platform_null_device());

    piece_collector collector{output, {}, 0, 0};
    shell_outcome run = platform_run_shell(
        command, limit, [&](std::string_view bytes) { return collector.take(bytes); });
    if (!run.started || run.timed_out)
        return {0, run.timed_out, limit};
    // The last line may lack its line feed.
    if (collector.piece_length > 0 && collector.total <= quota_output_max)
        collector.finish_piece();
    if (run.status == -1)
        return {0, false, limit};
    if (((run.status >> 8) & 0xff) == 127)
        return {-1, false, limit};
    return {run.status == 0 ? 1 : 0, false, limit};
}
