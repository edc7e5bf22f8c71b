// The switch action's posted body: a small JSON object naming the account.
#pragma once

#include <cstddef>

constexpr std::size_t account_text_capacity = 256;
constexpr std::size_t post_body_max = 4095;

// Takes "account" (else "email") from a JSON body; account is left empty when there is none.
void account_from_body(const char* body, std::size_t length,
                       char (&account)[account_text_capacity]);
// Fills the empty account text from the posted body: CONTENT_LENGTH bytes of standard input
// (1 to 4095), else the file POST_BODY_FILE names.
void read_post_account(char (&account)[account_text_capacity]);
