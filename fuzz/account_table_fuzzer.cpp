// Fuzzes the account table with random accounts-file and selected-file bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "accounts/account_list.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    std::size_t selected_length = in.ConsumeIntegralInRange<std::size_t>(0, 300);
    std::string selected_file = in.ConsumeBytesAsString(selected_length);
    std::string accounts_file = in.ConsumeRemainingBytesAsString();

    // The files' content as read_file hands it over: the bytes and a NUL, in an exact block.
    text_block content = exact_text(selected_file);
    char selected[selected_text_capacity];
    std::memset(selected, '\x5a', sizeof selected);
    parse_selected(content.get(), selected);
    FUZZ_CHECK(is_terminated(selected, sizeof selected));
    FUZZ_CHECK(selected[0] == '\0' || is_safe_email(selected));

    text_block text = exact_text(accounts_file);
    account table[accounts_max];
    std::memset(table, 0x5a, sizeof table);
    int count = parse_accounts(text.get(), selected, table);
    FUZZ_CHECK(count >= 0 && count <= accounts_max);
    int marked = 0;
    for (int i = 0; i < count; ++i) {
        const account& entry = table[i];
        FUZZ_CHECK(is_terminated(entry.email, sizeof entry.email));
        FUZZ_CHECK(is_safe_email(entry.email));
        FUZZ_CHECK(entry.has_refresh == 0 || entry.has_refresh == 1);
        FUZZ_CHECK(entry.selected == 0 || entry.selected == 1);
        FUZZ_CHECK(entry.selected ==
                   (selected[0] != '\0' && std::strcmp(entry.email, selected) == 0 ? 1 : 0));
        // Every address is one the file spelled out somewhere (escapes aside, it is a byte run).
        FUZZ_CHECK(accounts_file.find(entry.email) != std::string::npos ||
                   accounts_file.find('\\') != std::string::npos);
        marked += entry.selected;
        for (int j = 0; j < i; ++j)
            FUZZ_CHECK(std::strcmp(table[j].email, entry.email) != 0);
    }
    FUZZ_CHECK(marked <= 1);
    // Without an accounts file the table is empty.
    FUZZ_CHECK(parse_accounts(nullptr, selected, table) == 0);
    return 0;
}
