// The node-password gate that guards every request.
#pragma once

#include <string_view>

// Whether the candidate equals the secret, in a time that does not depend on where they differ.
bool secret_equals(std::string_view secret, std::string_view candidate);

// Whether a request may pass: no password set, or one of the header, the "Bearer" credential
// or the query's "pwd" value carries it. Absent values are null.
bool gate_admits(const char* password, const char* header_password, const char* authorization,
                 const char* query);

inline constexpr std::string_view password_refusal =
    "Status: 401 Unauthorized\r\n"
    "Content-Type: application/json; charset=utf-8\r\n"
    "Cache-Control: no-store\r\n\r\n"
    "{\"ok\":false,\"error\":\"invalid node password\"}\n";
