// Fuzzes the one JSON string encoder: every text becomes a valid literal that reads back as the
// same bytes, and the buffer keeps its terminator and capacity rules.
#include <string>

#include "front/output.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/json_check.h"

namespace {

int hex(char c) { return c <= '9' ? c - '0' : c - 'a' + 10; }

// Reads back a literal the encoder wrote (it only uses these escapes).
std::string decode_literal(std::string_view literal)
{
    std::string out;
    for (std::size_t i = 1; i + 1 < literal.size(); ++i) {
        char c = literal[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        char e = literal[++i];
        if (e == 'u') {
            out += static_cast<char>(hex(literal[i + 3]) * 16 + hex(literal[i + 4]));
            i += 4;
        } else {
            out += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size)
{
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string text = bytes.substr(0, bytes.find('\0'));
    text_block exact = exact_text(text);

    buf b;
    FUZZ_CHECK(buf_add(b, "[", 1) == 1);
    FUZZ_CHECK(buf_json(b, exact.get()) == 1);
    FUZZ_CHECK(buf_adds(b, ",") == 1);
    FUZZ_CHECK(buf_json(b, nullptr) == 1);
    FUZZ_CHECK(buf_addf(b, ",%zu]", text.size()) == 1);
    FUZZ_CHECK(b.length + 1 <= b.capacity && b.data[b.length] == '\0');
    FUZZ_CHECK(is_strict_json(b.view()));

    buf literal;
    FUZZ_CHECK(buf_json(literal, exact.get()) == 1);
    FUZZ_CHECK(decode_literal(literal.view()) == text);
    // Raw bytes (NUL included) go in as they are.
    buf raw;
    FUZZ_CHECK(buf_add(raw, bytes.data(), bytes.size()) == 1);
    FUZZ_CHECK(raw.view() == bytes);
    return 0;
}
