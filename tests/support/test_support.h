// Helpers shared by the test suites: temporary folders, files, and running the executable.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A fresh folder that is removed with everything in it when the scope ends.
struct scoped_temp_dir {
    std::filesystem::path path;
    scoped_temp_dir();
    ~scoped_temp_dir();
    std::string file(std::string_view name) const { return (path / name).string(); }
};

void write_text(const std::string& path, std::string_view content);
// The file's bytes, or "<missing>" when it cannot be read.
std::string read_text(const std::string& path);

// Sets (or, for null, removes) environment variables for the scope, then restores them.
struct env_scope {
    env_scope(std::initializer_list<std::pair<const char*, const char*>> values);
    ~env_scope();
    env_scope(const env_scope&) = delete;
    env_scope& operator=(const env_scope&) = delete;

private:
    struct saved_value {
        std::string name;
        std::string value;
        bool was_set;
    };
    std::vector<saved_value> saved_;
};

struct run_output {
    std::string out;
    std::string err;
    int exit_code = -1;  // -1 when the process did not exit normally
    int signal = 0;      // the signal that ended it, 0 for a normal exit
    bool timed_out = false;
};
// The command line that runs an executable with arguments, each quoted for the shell. With
// wrapped, BRELVANE_TEST_WRAPPER (a valgrind command line, say) goes in front.
std::string shell_command(const std::vector<std::string>& words, bool wrapped = false);
// Runs a command line through the shell in the current environment, with the given standard
// input; reports standard output, standard error and how the process ended.
run_output run_shell(const std::string& command, std::string_view input = {},
                     int timeout_seconds = 60);
// Runs the built plug-in with the given arguments (already quoted for the shell) and standard
// input. A wrapper that reports findings with exit code 99 (valgrind's --error-exitcode) fails
// the current test.
run_output run_plugin(std::string_view arguments = {}, std::string_view input = {});

// Removes every variable the plug-in reads, so each end-to-end case starts from nothing.
void clear_plugin_environment();
