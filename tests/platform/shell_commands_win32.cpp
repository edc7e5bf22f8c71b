// The platform tests' command lines for the Windows command interpreter.
#include "tests/platform/shell_commands.h"

std::string shell_exit_command(int code) { return "exit " + std::to_string(code); }

std::string shell_missing_command() { return "brelvane-no-such-command --json 2>NUL"; }

std::string shell_background_command(const std::string& background,
                                     const std::string& foreground)
{
    // The empty title keeps start from taking the quoted program path as a window title.
    return "start \"\" /b " + background + " & " + foreground;
}
