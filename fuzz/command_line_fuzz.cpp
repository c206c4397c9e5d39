// The command-line splitter and the option scan over arbitrary text. Every
// list of arguments the splitter gives can be written back as a command
// line that splits into the same list.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "log/log.h"
#include "report/report.h"

namespace {

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "command_line_fuzz: %s\n", what);
    std::abort();
  }
}

bool has_separator(const std::string& text) {
  return text.find_first_of(" \t\n") != std::string::npos;
}

// An argument as the command line must hold it to read back the same.
std::string written_back(const std::string& argument) {
  if (argument.empty() || argument[0] == '"' || has_separator(argument)) {
    check(argument.find('"') == std::string::npos,
          "an argument with a quote and a blank");
    return '"' + argument + '"';
  }
  return argument;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args = qp::split_arguments(text);

  std::string line;
  for (const std::string& argument : args) {
    line += written_back(argument) + ' ';
  }
  check(qp::split_arguments(line) == args, "the arguments do not read back");

  std::vector<std::string> after_name = qp::split_command_line(text);
  check(after_name.size() + (args.empty() ? 0 : 1) == args.size(),
        "split_command_line kept the program name");
  for (size_t i = 0; i < after_name.size(); ++i) {
    check(after_name[i] == args[i + 1], "split_command_line differs");
  }

  qp::option_scan scan = qp::scan_options(args, false);
  check(!qp::log_is_open() && !qp::is_no_prompt(), "the scan opened the log");
  if (args.size() == 3 && !scan.syntax_error) {
    check(scan.no_prompt || scan.minimised || scan.append || scan.recursive ||
              scan.single_mbox || args[2].size() == 2,
          "an accepted option that sets nothing");
  }
  return 0;
}
