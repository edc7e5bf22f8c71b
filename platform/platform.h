// What the operating system does for the plug-in; platform/posix.cpp and platform/win32.cpp
// implement it. Nothing above this layer names an OS type, header or call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

// Environment --------------------------------------------------------------

// The variable's value, or null when it is not set. Valid only until the next
// platform_setenv: a runtime may rebuild its whole environment table then.
const char* platform_getenv(const char* name);
// Sets a variable that children started afterwards inherit; an empty value removes it.
void platform_setenv(const char* name, const char* value);
// Reads a variable from the operating system's own environment into out: returns the length
// stored (below cap), the size needed when it does not fit (cap or more), 0 when it is unset.
std::size_t platform_read_os_env(const char* name, char* out, std::size_t cap);

// Standard streams and clock ----------------------------------------------

void platform_stdout_binary();
// Writes all bytes to standard output; false when fewer were written.
[[nodiscard]] bool platform_write_stdout(std::string_view bytes);
// Reads standard input until n bytes arrived or the input ended; returns the count.
std::size_t platform_read_stdin(char* out, std::size_t n);
// Seconds since 1970-01-01T00:00:00Z.
std::int64_t platform_now();
// The system's message text for an error number.
const char* platform_error_text(int err);

// Paths and files -----------------------------------------------------------

// The byte that joins directory and file names in the paths this platform builds.
char platform_path_separator();
// The position just after the directory part of a path, or null when it has none.
const char* platform_after_directory(const char* path);
// Whether the path names a regular file: reading anything else (a FIFO, a device) could wait
// for a writer that never comes.
bool platform_is_regular_file(const char* path);
// Whether a tool name is a path (tested as a file) rather than a name to search for.
bool platform_name_is_path(const char* name);
// Whether the path names something that can be run: present, not a directory.
bool platform_path_runnable(const char* path);
// Whether a bare tool name is found on the search path.
bool platform_search_path(const char* name);

struct replace_result {
    bool ok;
    int err;  // the error number of the step that failed
};
// Replaces the file's whole content at once: readers see the old or the new content, never a
// mix. A failure leaves the old file as it was and no temporary file behind.
[[nodiscard]] replace_result platform_replace_file(const char* path, std::string_view content);

// Child processes ------------------------------------------------------------

// Bytes a command-shell double-quoted argument must escape with a backslash.
bool platform_shell_must_escape(char c);
// The null device, for "2>" redirections on a command line.
const char* platform_null_device();

struct shell_outcome {
    bool started;    // false: the shell could not be started
    bool timed_out;  // the time limit passed; the command and all it started were ended
    // The exit code in bits 8 to 15 (0 for success, 127 for "not found"); -1 unknown. On
    // Windows the interpreter's own "not recognized" code 9009 also reads as 127, and an exit
    // code above 255 (a crashed process, for example) as 255.
    int status;
};
// Runs a command line through the command shell and hands its standard output to on_output
// piece by piece; when on_output returns false the output is closed and no more is read.
// The command, and every process it started, is ended once timeout_seconds have passed.
shell_outcome platform_run_shell(const char* command_line, int timeout_seconds,
                                 const std::function<bool(std::string_view)>& on_output);
