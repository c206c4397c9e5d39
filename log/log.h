// The log of no-prompt runs: one block per run, appended.
#ifndef QUILLPACK_LOG_LOG_H_
#define QUILLPACK_LOG_LOG_H_

#include <string>
#include <vector>

namespace qp {

// The temporary directory + "quillpack.log"; fixed at start-up.
void set_log_path(const std::string& path);

// Opens the log for appending and writes the header with every argument.
// A log that cannot be opened leaves the run silent.
void open_log(const std::vector<std::string>& args);
bool log_is_open();
// Writes text as it stands; line feeds become the platform's line ends.
void log_write(const std::string& text);
// The End line and the dash rule; closes the file.
void close_log();

std::string log_timestamp();
std::string format_timestamp(int weekday, int year, int month, int day,
                             int hour, int minute, int second);

}  // namespace qp

#endif  // QUILLPACK_LOG_LOG_H_
