// The node's account table, read afresh from the accounts file on every request.
#pragma once

#include <cstddef>

constexpr std::size_t email_capacity = 256;
constexpr int accounts_max = 64;
constexpr std::size_t selected_text_capacity = 256;

struct account {
    char email[email_capacity];  // passes is_safe_email
    int has_refresh;             // some object for this address carries a non-empty refresh token
    int selected;                // equals the selected-account text
};

// The one test for an e-mail address: 1 to 255 bytes of ASCII letters, digits, "+-._" and "@",
// with at least one "@". Every address that enters the table, the selection, the switch or
// the quota tool's command line has passed it.
int is_safe_email(const char* text);

// Builds the table from the accounts file text (null: none); returns the count, 0 to 64.
int parse_accounts(const char* text, const char* selected, account (&table)[accounts_max]);
// Reads the selected-account file content into selected, or leaves it empty when the content
// is not one safe address (trailing whitespace aside).
void parse_selected(char* content, char (&selected)[selected_text_capacity]);

// Reads both files; returns the count, and the selected address (or empty) in selected.
int load_accounts(account (&table)[accounts_max], char (&selected)[selected_text_capacity]);
