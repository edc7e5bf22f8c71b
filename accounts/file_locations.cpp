// File locations from the environment, and whole-file reads.
#include "accounts/file_locations.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "front/memory.h"
#include "platform/platform.h"

namespace {

constexpr const char* accounts_file_name = "antigravity_accounts.json";
constexpr const char* selected_file_name = "selected_account.txt";
constexpr std::size_t home_capacity = 512;

// The profile directory as the operating system reports it; kept for the whole process.
char home[home_capacity];

const char* nonempty_env(const char* name)
{
    const char* value = platform_getenv(name);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

void profile_path(char (&out)[path_capacity], const char* directory)
{
    char s = platform_path_separator();
    std::snprintf(out, sizeof out, "%s%c.config%cgoogle-accounts%c%s", directory, s, s, s,
                  accounts_file_name);
}

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

void accounts_path(char (&out)[path_capacity])
{
    for (const char* name : {"GOOGLE_ACCOUNTS_FILE", "ANTIGRAVITY_CREDS_PATH"}) {
        if (const char* value = nonempty_env(name)) {
            std::snprintf(out, sizeof out, "%s", value);
            return;
        }
    }
    std::size_t length = platform_read_os_env("USERPROFILE", home, sizeof home);
    if (length >= 1 && length < sizeof home)
        return profile_path(out, home);
    for (const char* name : {"USERPROFILE", "HOME"}) {
        if (const char* value = nonempty_env(name))
            return profile_path(out, value);
    }
    std::snprintf(out, sizeof out, "%s", accounts_file_name);
}

void selected_path(char (&out)[path_capacity])
{
    if (const char* value = nonempty_env("GOOGLE_SELECTED_FILE")) {
        std::snprintf(out, sizeof out, "%s", value);
        return;
    }
    char accounts[path_capacity];
    accounts_path(accounts);
    const char* file_name = platform_after_directory(accounts);
    if (file_name == nullptr) {
        std::snprintf(out, sizeof out, "%s", selected_file_name);
        return;
    }
    std::snprintf(out, sizeof out, "%.*s%s", static_cast<int>(file_name - accounts), accounts,
                  selected_file_name);
}

file_text read_file(const char* path)
{
    if (path == nullptr || path[0] == '\0')
        return nullptr;
    if (!platform_is_regular_file(path))
        return nullptr;
    std::unique_ptr<std::FILE, file_closer> file(std::fopen(path, "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return nullptr;
    long size = std::ftell(file.get());
    if (size < 0 || size > file_read_max)
        return nullptr;
    std::rewind(file.get());
    file_text text(static_cast<char*>(mem_alloc(static_cast<std::size_t>(size) + 1)));
    if (!text)
        return nullptr;
    std::size_t n = static_cast<std::size_t>(size);
    if (n > 0 && std::fread(text.get(), 1, n, file.get()) != n)
        return nullptr;
    text.get()[n] = '\0';
    return text;
}
