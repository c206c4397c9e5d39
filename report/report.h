// The one channel through which every message reaches the user, the exit
// codes and the crash report.
#ifndef QUILLPACK_REPORT_REPORT_H_
#define QUILLPACK_REPORT_REPORT_H_

#include <cstdint>
#include <string>

#include "base/program.h"
#include "window/platform.h"

namespace qp {

// Never ask the user; report to the log (/p). Read by every report.
void set_no_prompt(bool on);
bool is_no_prompt();
// The window that owns the message boxes; 0 until there is one.
void set_report_owner(window_handle window);
// The file in hand, named by the crash report; size -1 when none is.
void set_file_in_hand(const std::string& name, int64_t size);
// The closing tally of a run that collected its sources, shown by
// finish_run; none (empty) after a fault of the command line or the
// settings, or a crash.
void set_run_tally(const std::string& line);
// Back to the state of a fresh process: prompting, no window, no file, no
// tally.
void reset_report();

// Shows (interactive) or logs (with /p) the message and ends the process;
// the tally before it in the log, after it on screen (in a box only after a
// run that met errors or was stopped: not after a clean run, nor after
// one that found no file, whose message said so).
[[noreturn]] void finish_run(const std::string& message, int code);
// Help or the version, asked for on the command line: on standard output
// when it can take the text (always on POSIX), else in a box; exit code 0.
[[noreturn]] void finish_with_info(const std::string& text);
// The usage text after a faulty command line: in a box, or with /p one
// line in the log; exit code 3.
[[noreturn]] void finish_with_usage(const std::string& usage);

// A line for the log (/p) that asks nothing; not shown otherwise.
void log_note(const std::string& line);

// Reports an error met during the job; true means stop. The caller has
// already counted the error.
bool ask_proceed(const std::string& message);

// printf-style filling of the fixed message texts.
std::string format_message(const char* format, const std::string& text);
std::string format_message(const char* format, long long number);

// Fixes the crash report's path and message and installs the handlers.
void prepare_crash_handling();
// Writes the report anew with the description, then ends through crash().
[[noreturn]] void report_crash(const std::string& description);
// Appends the block of the file in hand and ends with exit code 3.
[[noreturn]] void crash(int ignored);

}  // namespace qp

#endif  // QUILLPACK_REPORT_REPORT_H_
