// The password gate: three places a candidate may come from, each compared in constant time.
#include "front/password_gate.h"

#include <cstddef>

#include "front/query_string.h"

bool secret_equals(std::string_view secret, std::string_view candidate)
{
    // Every byte of the candidate is compared, so the time tells at most its length.
    unsigned difference = secret.size() != candidate.size() ? 1u : 0u;
    for (std::size_t i = 0; i < candidate.size(); ++i) {
        unsigned char s = secret.empty() ? 0 : static_cast<unsigned char>(secret[i % secret.size()]);
        difference |= s ^ static_cast<unsigned char>(candidate[i]);
    }
    return difference == 0;
}

namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The credential after "Bearer " (any letter case, spaces around it), or false when absent.
bool bearer_credential(std::string_view value, std::string_view& credential)
{
    constexpr std::string_view scheme = "bearer ";
    std::size_t start = value.find_first_not_of(' ');
    if (start == std::string_view::npos || value.size() - start < scheme.size())
        return false;
    for (std::size_t i = 0; i < scheme.size(); ++i)
        if (ascii_lower(value[start + i]) != scheme[i])
            return false;
    value.remove_prefix(start + scheme.size());
    std::size_t rest = value.find_first_not_of(' ');
    credential = rest == std::string_view::npos ? std::string_view{} : value.substr(rest);
    return true;
}

constexpr std::size_t query_password_capacity = 256;

}  // namespace

bool gate_admits(const char* password, const char* header_password, const char* authorization,
                 const char* query)
{
    if (password == nullptr || password[0] == '\0')
        return true;
    if (header_password != nullptr && secret_equals(password, header_password))
        return true;
    std::string_view credential;
    if (authorization != nullptr && bearer_credential(authorization, credential) &&
        secret_equals(password, credential))
        return true;
    char from_query[query_password_capacity];
    return get_query_val(query, "pwd", from_query, sizeof from_query) &&
           secret_equals(password, from_query);
}
