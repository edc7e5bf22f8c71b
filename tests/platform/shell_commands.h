// Command lines the platform tests hand to the command shell, one implementation per OS.
#pragma once

#include <string>

// A command that ends the shell with the given exit code.
std::string shell_exit_command(int code);
// A command the shell cannot find.
std::string shell_missing_command();
// Starts background without waiting for it, then runs foreground.
std::string shell_background_command(const std::string& background,
                                     const std::string& foreground);
