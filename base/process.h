// Process services: the program's own path, its arguments, the local time,
// ending the process, the crash hooks, the console.
#ifndef QUILLPACK_BASE_PROCESS_H_
#define QUILLPACK_BASE_PROCESS_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qp {

// Full path of the running executable.
std::string own_path();

// The arguments after the program's own name.
std::vector<std::string> program_arguments(int argc, char** argv);

struct local_time {
  int year, month, day, hour, minute, second;
  int weekday;  // Monday = 1 ... Sunday = 7
};
local_time current_local_time();

[[noreturn]] void end_process(int code);

// Writes the crash report for the description and ends the process.
using crash_routine = void (*)(const std::string& description);
// Installs the handlers that turn a fatal failure into a call of on_crash.
void install_crash_hooks(crash_routine on_crash);

// The file being written, which a crash cuts back to size (the end of its
// last whole message) before anything else: a descriptor on POSIX, a
// HANDLE on Windows. The hooks read both from any thread or signal.
void set_crash_target(intptr_t handle, int64_t size);
// Forgets the file, if it is the one set; before it is closed.
void clear_crash_target(intptr_t handle);
// For the crash hooks: the file and its size, once; false when none is set
// (or it was taken already). Safe inside a signal handler.
bool take_crash_target(intptr_t& handle, int64_t& size);

// Releases the console window, so none stays open waiting for a key.
void release_console();

// Writes text to the console (standard error), for the crash heading.
void console_write(const std::string& text);

// Writes text to standard output when that goes to a file or a pipe (on
// POSIX, always), with the platform's line ends; false when it does not, so
// that the caller shows the text in a box instead.
bool write_standard_output(const std::string& text);

// The command-line habits of the platform.
struct command_line_habits {
  // The one extra argument that asks for the usage text ("/?" on Windows);
  // empty when there is none.
  const char* help_switch;
  // The example line of the usage text, in the platform's paths.
  const char* usage_example;
  // Closing lines of the usage text, each beginning with a line feed.
  const char* usage_notes;
};
extern const command_line_habits native_habits;

// Opens a file in the shared temporary directory for writing text, without
// following a link and readable by the user alone: appended to, or written
// anew. Null when it cannot be opened.
std::FILE* open_private_file(const std::string& path, bool append);

}  // namespace qp

#endif  // QUILLPACK_BASE_PROCESS_H_
