// Condensing the quota tool's JSON answer into pools, window limits and model rows.
#include "quota/quota_output.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "accounts/json_scan.h"
#include "front/output.h"
#include "quota/quota_tool.h"

namespace {

constexpr std::size_t display_name_capacity = 128;
constexpr std::size_t window_name_capacity = 32;

// A stretch of the answer text: begin is an opener, end is just past its value.
struct text_range {
    const char* begin;
    const char* end;
};

template <std::size_t N>
void copy_text(char (&out)[N], const char* source)
{
    std::snprintf(out, N, "%s", source);
}

bool starts_with(const char* text, std::string_view prefix)
{
    return std::string_view(text).starts_with(prefix);
}

bool contains(const char* text, std::string_view part)
{
    return std::string_view(text).find(part) != std::string_view::npos;
}

// The container that starts at value, when it is of the opener's kind and closes after its
// start and no later than limit.
bool container_at(const char* value, char opener, const char* limit, text_range& out)
{
    if (value == nullptr || *value != opener)
        return false;
    const char* close = json_skip_value(value);
    if (close == nullptr || close <= value || close > limit)
        return false;
    out = {value, close};
    return true;
}

bool find_container(text_range within, const char* key, char opener, text_range& out)
{
    return container_at(json_find_key(within.begin, within.end, key), opener, within.end, out);
}

// Moves to the next well-formed object of a list; false when the list has no more of them.
bool next_object(const char*& position, const char* list_end, text_range& object)
{
    if (position >= list_end)
        return false;
    const char* open = std::strchr(position, '{');
    if (open == nullptr || open >= list_end)
        return false;
    if (!container_at(open, '{', list_end, object))
        return false;
    position = object.end;
    return true;
}

struct bucket_share {
    double pct;
    int exhausted;
};

// strtod accepts "-nan", "-inf" and overflowing exponents; a NaN counts as no number at all, so
// that only values from 0 to 100 (or the -1 marker) can reach a percentage.
bool read_fraction(text_range object, double& fraction)
{
    double value = 0;
    if (!json_double_field(object.begin, object.end, "remainingFraction", &value) ||
        std::isnan(value))
        return false;
    fraction = value;
    return true;
}

bucket_share share_of(double fraction)
{
    double pct = fraction * 100.0;
    // "not above 0" also turns -0.0 into 0, which would otherwise be written as -0.00.
    if (!(pct > 0.0))
        pct = 0.0;
    else if (pct > 100.0)
        pct = 100.0;
    return {pct, fraction <= 0.0 ? 1 : 0};
}

const char* answer_start(const char* text)
{
    for (const char* line = text; *line != '\0';) {
        if (*line == '{')
            return line;
        const char* line_feed = std::strchr(line, '\n');
        if (line_feed == nullptr)
            break;
        line = line_feed + 1;
    }
    // An indented answer, or one glued to a log line, is still found by its first brace.
    return std::strchr(text, '{');
}

bool answer_says_ok(text_range answer)
{
    const char* value = json_find_key(answer.begin, answer.end, "ok");
    if (value == nullptr)
        return false;
    std::string_view rest(value, static_cast<std::size_t>(answer.end - value));
    return rest.starts_with("true") || rest.starts_with('1');
}

// The pool a model belongs to, first match winning; "other" models have none.
struct pool_choice {
    const char* name;
    pool acct_quota::*member;
};

pool_choice pool_of(const char* model_id)
{
    if (starts_with(model_id, "gemini-4-argon"))
        return {"argon", &acct_quota::argon};
    if (starts_with(model_id, "gemini-"))
        return {"gemini", &acct_quota::gemini};
    if (starts_with(model_id, "claude-"))
        return {"claude", &acct_quota::claude};
    return {"other", nullptr};
}

void read_bucket(text_range object, acct_quota& record)
{
    char id[model_id_capacity] = "";
    char reset_time[reset_time_capacity] = "";
    json_str_field(object.begin, object.end, "modelId", id, sizeof id);
    json_str_field(object.begin, object.end, "resetTime", reset_time, sizeof reset_time);
    if (id[0] == '\0' || starts_with(id, "chat_") || starts_with(id, "tab_"))
        return;

    double fraction = 0;
    // A model without a fraction has nothing left.
    bucket_share share =
        read_fraction(object, fraction) ? share_of(fraction) : bucket_share{0.0, 1};
    pool_choice choice = pool_of(id);
    if (choice.member != nullptr)
        pool_add(record.*choice.member, share.pct, share.exhausted, reset_time);
    if (record.model_count >= models_max)
        return;
    model_entry& row = record.models[record.model_count++];
    copy_text(row.id, id);
    copy_text(row.pool, choice.name);
    row.pct = share.pct;
    row.exhausted = share.exhausted;
    copy_text(row.reset_time, reset_time);
}

void read_buckets(text_range list, acct_quota& record)
{
    const char* position = list.begin + 1;
    text_range object;
    while (next_object(position, list.end, object))
        read_bucket(object, record);
}

enum class family { none, gemini, claude };

family family_of(const char* bucket_id, const char* display_name)
{
    if (starts_with(bucket_id, "gemini-") || contains(display_name, "Gemini") ||
        contains(display_name, "gemini"))
        return family::gemini;
    if (starts_with(bucket_id, "3p-") || contains(display_name, "Claude") ||
        contains(display_name, "claude") || contains(display_name, "GPT"))
        return family::claude;
    return family::none;
}

window_limit* window_slot(acct_quota& record, family kind, const char* bucket_id,
                          const char* window)
{
    bool gemini = kind == family::gemini;
    if (std::strcmp(window, "5h") == 0 || contains(bucket_id, "-5h"))
        return gemini ? &record.gemini_five_hour : &record.claude_five_hour;
    if (std::strcmp(window, "weekly") == 0 || contains(bucket_id, "-weekly"))
        return gemini ? &record.gemini_weekly : &record.claude_weekly;
    return nullptr;
}

void read_window(text_range object, const char* display_name, acct_quota& record)
{
    char bucket_id[bucket_id_capacity] = "";
    char window[window_name_capacity] = "";
    char reset_time[reset_time_capacity] = "";
    json_str_field(object.begin, object.end, "bucketId", bucket_id, sizeof bucket_id);
    json_str_field(object.begin, object.end, "window", window, sizeof window);
    json_str_field(object.begin, object.end, "resetTime", reset_time, sizeof reset_time);

    double fraction = 0;
    bucket_share share{-1.0, 0};
    if (read_fraction(object, fraction))
        share = share_of(fraction);
    else if (reset_time[0] != '\0')
        share = {0.0, 1};  // a window that will reset but reports no share is used up

    family kind = family_of(bucket_id, display_name);
    if (kind == family::none || share.pct < 0.0)
        return;
    window_limit* slot = window_slot(record, kind, bucket_id, window);
    if (slot == nullptr)
        return;
    slot->present = 1;
    copy_text(slot->bucket_id, bucket_id);
    slot->exhausted = share.exhausted;
    slot->pct = share.pct;
    copy_text(slot->reset_time, reset_time);
}

void read_group(text_range group, acct_quota& record)
{
    char display_name[display_name_capacity] = "";
    json_str_field(group.begin, group.end, "displayName", display_name, sizeof display_name);
    text_range windows;
    if (!find_container(group, "buckets", '[', windows))
        return;
    const char* position = windows.begin + 1;
    text_range object;
    while (next_object(position, windows.end, object))
        read_window(object, display_name, record);
}

// The summary is optional: whatever cannot be read in it ends it without failing the answer.
void read_summary(text_range answer, acct_quota& record)
{
    text_range summary;
    text_range groups;
    if (!find_container(answer, "summary", '{', summary) ||
        !find_container(summary, "groups", '[', groups))
        return;
    const char* position = groups.begin + 1;
    text_range group;
    while (next_object(position, groups.end, group))
        read_group(group, record);
}

void fail(acct_quota& record, const char* code) { copy_text(record.error, code); }

}  // namespace

void pool_add(pool& into, double pct, int exhausted, const char* reset_time)
{
    if (!into.present || into.pct > pct)
        into.pct = pct;
    into.present = 1;
    if (exhausted || pct <= 0.0)
        into.exhausted = 1;
    if (reset_time != nullptr && reset_time[0] != '\0' &&
        (into.reset_time[0] == '\0' || std::strcmp(reset_time, into.reset_time) < 0))
        copy_text(into.reset_time, reset_time);
    ++into.count;
}

void parse_quota_output(const buf& output, const quota_run& run, acct_quota& record)
{
    std::memset(&record, 0, sizeof record);
    record.gemini.pct = record.argon.pct = record.claude.pct = -1.0;

    if (run.result == -1) {
        record.cli_unavailable = 1;
        return fail(record, "cli_unavailable");
    }
    if (run.timed_out) {
        std::snprintf(record.detail, sizeof record.detail,
                      "the quota tool gave no answer within %d s", run.timeout_seconds);
        return fail(record, "quota_timeout");
    }
    // The scanner reads NUL-terminated text, so a NUL inside the output ends the answer there.
    const char* text = output.data;
    const char* start = text ? answer_start(text) : nullptr;
    if (start == nullptr)
        return fail(record, "quota_fetch_failed");
    const char* end = json_skip_value(start);
    if (end == nullptr || end <= start)
        return fail(record, "invalid_quota_json");
    text_range answer{start, end};

    if (!answer_says_ok(answer)) {
        json_str_field(start, end, "error", record.error, sizeof record.error);
        if (record.error[0] == '\0')
            fail(record, "quota_fetch_failed");
        return;
    }
    json_str_field(start, end, "project", record.project, sizeof record.project);

    const char* buckets = json_find_key(start, end, "buckets");
    if (buckets == nullptr || *buckets != '[')
        return fail(record, "missing_buckets");
    text_range list;
    if (!container_at(buckets, '[', end, list))
        return fail(record, "invalid_buckets");
    read_buckets(list, record);
    read_summary(answer, record);
    record.ok = 1;
}
