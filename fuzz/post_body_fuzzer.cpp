// Fuzzes the switch action's posted-body reader, the way read_post_account hands it a body.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "accounts/account_list.h"
#include "accounts/post_body.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size)
{
    if (size > post_body_max)
        return -1;  // the reader never holds more than this many bytes of body
    std::string body(reinterpret_cast<const char*>(data), size);
    // The body buffer: n bytes as delivered (NUL bytes included) and a NUL after them.
    text_block copy = exact_text(body);

    char account[account_text_capacity] = "";
    account_from_body(copy.get(), body.size(), account);
    FUZZ_CHECK(is_terminated(account, sizeof account));
    FUZZ_CHECK(std::memcmp(copy.get(), body.data(), body.size()) == 0);
    // What comes out is a run of the body's own bytes unless escapes were decoded.
    std::size_t n = std::strlen(account);
    FUZZ_CHECK(n < email_capacity);
    if (n > 0 && body.find('\\') == std::string::npos)
        FUZZ_CHECK(body.find(account) != std::string::npos);
    // No bytes, no account.
    char none[account_text_capacity] = "";
    account_from_body(copy.get(), 0, none);
    FUZZ_CHECK(none[0] == '\0');
    return 0;
}
