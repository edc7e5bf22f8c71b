// The dashboard page route.
#pragma once

#include <string_view>

inline constexpr std::string_view page_header_block =
    "Content-Type: text/html; charset=utf-8\r\n"
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n\r\n";

// Writes the page header block and the page, with the theme blocks in place of their markers.
void emit_page();
