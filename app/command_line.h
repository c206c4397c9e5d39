// The command line: splitting, options, and the two positional arguments.
#ifndef QUILLPACK_APP_COMMAND_LINE_H_
#define QUILLPACK_APP_COMMAND_LINE_H_

#include <string>
#include <vector>

#include "base/arguments.h"

namespace qp {

struct run_settings {
  std::string source_spec;
  std::string output_dir;
  int show_mode = 9;  // 9 restore, 2 minimised (/i)
  bool append_mode = false;
  bool recursive = false;
  bool separate_mboxes = true;
};

// The settings of this run, as parse_command_line left them.
const run_settings& parsed_run();

// The option part of the command line, without its effects.
struct option_scan {
  bool syntax_error = false;
  bool no_prompt = false;
  bool minimised = false;
  bool append = false;
  bool recursive = false;
  bool single_mbox = false;
};
// An argument anywhere on the command line that asks for the usage text or
// the version; it wins over every fault of the rest.
enum class info_request { none, help, version };
// The first such argument: "--help", "-h" (and "/?" on Windows) or
// "--version", "-V", in any letter case.
info_request find_info_request(const std::vector<std::string>& args);

// Reads every argument from the third on, each "/x" or "-x"; opens the log when
// "/p" is met and open_log_on_p is set.
option_scan scan_options(const std::vector<std::string>& args,
                         bool open_log_on_p);

// Fills run from the arguments; ends the process on a malformed command
// line or an unusable directory.
void parse_command_line(const std::vector<std::string>& args);

const std::string& usage_text();
// The text asked for, on standard output or in a box, then exit code 0.
[[noreturn]] void show_info(info_request request);
// The usage text after a malformed command line, then exit code 3.
[[noreturn]] void show_usage();

}  // namespace qp

#endif  // QUILLPACK_APP_COMMAND_LINE_H_
