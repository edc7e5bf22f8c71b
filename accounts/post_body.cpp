// Reads the switch action's posted body from standard input or from the file the server names.
#include "accounts/post_body.h"

#include <cstdlib>
#include <cstring>

#include "accounts/file_locations.h"
#include "accounts/json_scan.h"
#include "platform/platform.h"

void account_from_body(const char* body, std::size_t length,
                       char (&account)[account_text_capacity])
{
    if (length == 0)
        return;
    if (!json_str_field(body, body + length, "account", account, sizeof account))
        json_str_field(body, body + length, "email", account, sizeof account);
}

void read_post_account(char (&account)[account_text_capacity])
{
    char body[post_body_max + 1];
    std::size_t n = 0;
    const char* stated = platform_getenv("CONTENT_LENGTH");
    long length = stated != nullptr && stated[0] != '\0' ? std::atol(stated) : 0;
    if (length >= 1 && length <= static_cast<long>(post_body_max)) {
        // A pipe may deliver the body in several pieces: read until the stated length.
        n = platform_read_stdin(body, static_cast<std::size_t>(length));
    } else {
        const char* file = platform_getenv("POST_BODY_FILE");
        if (file == nullptr || file[0] == '\0')
            return;
        file_text content = read_file(file);
        if (!content)
            return;
        n = strnlen(content.get(), post_body_max);
        std::memcpy(body, content.get(), n);
    }
    body[n] = '\0';
    account_from_body(body, n, account);
}
