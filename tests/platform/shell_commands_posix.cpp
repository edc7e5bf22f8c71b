// The platform tests' command lines for /bin/sh.
#include "tests/platform/shell_commands.h"

std::string shell_exit_command(int code) { return "exit " + std::to_string(code); }

std::string shell_missing_command() { return "brelvane-no-such-command --json 2>/dev/null"; }

std::string shell_background_command(const std::string& background,
                                     const std::string& foreground)
{
    return background + " & " + foreground;
}
