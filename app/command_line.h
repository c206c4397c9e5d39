// The command line: splitting, options, and the two positional arguments.
#ifndef QUILLPACK_APP_COMMAND_LINE_H_
#define QUILLPACK_APP_COMMAND_LINE_H_

#include <string>
#include <vector>

namespace qp {

struct run_settings {
  std::string source_spec;
  std::string output_dir;
  int show_mode = 9;  // 9 restore, 2 minimised (/i)
  bool append_mode = false;
  bool recursive = false;
  bool separate_mboxes = true;
};

// Never ask the user; report to the log (/p). Read by every report.
extern bool no_prompt;
extern run_settings run;

// Splits the text that follows the program's own name into arguments.
std::vector<std::string> split_arguments(const std::string& text);
// Skips the program's own name (quoted or not) and splits the rest.
std::vector<std::string> split_command_line(const std::string& line);

// The option part of the command line, without its effects.
struct option_scan {
  bool syntax_error = false;
  bool no_prompt = false;
  bool minimised = false;
  bool append = false;
  bool recursive = false;
  bool single_mbox = false;
};
// Reads every argument from the third on; opens the log when "/p" is met
// and open_log_on_p is set.
option_scan scan_options(const std::vector<std::string>& args,
                         bool open_log_on_p);

// Fills run from the arguments; ends the process on a malformed command
// line or an unusable directory.
void parse_command_line(const std::vector<std::string>& args);

const std::string& usage_text();
[[noreturn]] void show_usage();

}  // namespace qp

#endif  // QUILLPACK_APP_COMMAND_LINE_H_
