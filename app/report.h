// The one channel through which every message reaches the user, the exit
// codes and the crash report.
#ifndef QUILLPACK_APP_REPORT_H_
#define QUILLPACK_APP_REPORT_H_

#include <string>

namespace qp {

inline constexpr const char* program_name = "quillpack";
// The version comes from the build (the project's version in CMakeLists.txt).
inline constexpr const char* program_banner = "quillpack " QUILLPACK_VERSION;

enum exit_code {
  exit_ok = 0,
  exit_no_files = 1,
  exit_errors = 2,
  exit_fatal = 3
};

// Shows (interactive) or logs (with /p) the message and ends the process.
[[noreturn]] void finish_run(const std::string& message, int code);

// Reports an error met during the job; true means stop. The caller has
// already counted the error.
bool ask_proceed(const std::string& message);

// printf-style filling of the fixed message texts.
std::string format_message(const char* format, const std::string& text);
std::string format_message(const char* format, long long number);

// Fixes the crash report's path and message and installs the handlers.
void prepare_crash_handling();
// The crash report file: the temporary directory + "ex.err".
const std::string& crash_file_path();
// Writes the report anew with the description, then ends through crash().
[[noreturn]] void report_crash(const std::string& description);
// Appends the block of the file in hand and ends with exit code 3.
[[noreturn]] void crash(int ignored);

}  // namespace qp

#endif  // QUILLPACK_APP_REPORT_H_
