// The account table: addresses from the accounts file, de-duplicated, marked with the selection.
#include "accounts/account_list.h"

#include <cstring>

#include "accounts/file_locations.h"
#include "accounts/json_scan.h"

namespace {

bool is_email_byte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '+' || c == '-' || c == '.' || c == '_' || c == '@';
}

// Only whether a token is there matters; at most its first bytes pass through this area.
constexpr std::size_t refresh_probe_capacity = 8;

account* find_entry(account (&table)[accounts_max], int count, const char* email)
{
    for (int i = 0; i < count; ++i)
        if (std::strcmp(table[i].email, email) == 0)
            return &table[i];
    return nullptr;
}

}  // namespace

int is_safe_email(const char* text)
{
    if (text == nullptr || text[0] == '\0')
        return 0;
    bool has_at = false;
    std::size_t n = 0;
    for (; text[n] != '\0'; ++n) {
        if (n >= email_capacity - 1 || !is_email_byte(text[n]))
            return 0;
        has_at = has_at || text[n] == '@';
    }
    return has_at;
}

void parse_selected(char* content, char (&selected)[selected_text_capacity])
{
    selected[0] = '\0';
    if (content == nullptr)
        return;
    trim_tail(content);
    if (is_safe_email(content))
        std::strcpy(selected, content);  // a safe address is at most 255 bytes
}

int parse_accounts(const char* text, const char* selected, account (&table)[accounts_max])
{
    int count = 0;
    for (const char* p = text; p && *p && count < accounts_max;) {
        char email[email_capacity] = "";
        char refresh[refresh_probe_capacity] = "";
        const char* start = std::strchr(p, '{');
        const char* end = json_skip_value(start);
        if (start == nullptr || end == nullptr || end <= start)
            break;
        // The next search starts after this object, so nested objects are never visited.
        p = end;
        json_str_field(start, end, "email", email, sizeof email);
        bool has_refresh =
            json_str_field(start, end, "refresh_token", refresh, sizeof refresh) &&
            refresh[0] != '\0';
        if (!is_safe_email(email))
            continue;
        if (account* known = find_entry(table, count, email)) {
            known->has_refresh |= has_refresh;
            continue;
        }
        account& entry = table[count++];
        std::memcpy(entry.email, email, sizeof email);
        entry.has_refresh = has_refresh;
        entry.selected = selected[0] != '\0' && std::strcmp(selected, email) == 0;
    }
    return count;
}

int load_accounts(account (&table)[accounts_max], char (&selected)[selected_text_capacity])
{
    char path[path_capacity];
    selected_path(path);
    parse_selected(read_file(path).get(), selected);
    accounts_path(path);
    return parse_accounts(read_file(path).get(), selected, table);
}
