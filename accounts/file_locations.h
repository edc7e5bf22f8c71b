// Where the accounts file and the selected-account file live, and reading a file whole.
#pragma once

#include <cstddef>
#include <memory>

#include "front/memory.h"

constexpr std::size_t path_capacity = 1024;
// Files larger than this are not read.
constexpr long file_read_max = 4 * 1024 * 1024;

// Both paths come from the environment with fixed fallbacks; never empty, cut at 1023 bytes.
void accounts_path(char (&out)[path_capacity]);
void selected_path(char (&out)[path_capacity]);

using file_text = std::unique_ptr<char, mem_deleter>;

// The whole file plus a terminating NUL, or null when it is missing, unreadable or too large.
file_text read_file(const char* path);
