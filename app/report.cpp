#include "app/report.h"

#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "app/process.h"
#include "collect/paths.h"
#include "log/log.h"
#include "log/outside_text.h"
#include "pack/target.h"
#include "ui/platform.h"
#include "ui/progress.h"

namespace qp {
namespace {

std::string crash_path;
std::string crash_message;

}  // namespace

// The text filled in is a name, a path or another text from outside: it is
// escaped, so that it can neither drive a terminal nor forge a log line.
std::string format_message(const char* format, const std::string& text) {
  const std::string shown = escape_outside_text(text);
  int needed = std::snprintf(nullptr, 0, format, shown.c_str());
  if (needed < 0) {
    return format;
  }
  std::string out(static_cast<size_t>(needed) + 1, '\0');
  std::snprintf(&out[0], out.size(), format, shown.c_str());
  out.resize(static_cast<size_t>(needed));
  return out;
}

std::string format_message(const char* format, long long number) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, number);
  return buffer;
}

void finish_run(const std::string& message, int code) {
  if (!no_prompt) {
    if (!message.empty()) {
      request_foreground(main_window_handle);
      message_box(main_window_handle, program_name, message,
                  MB_ICONEXCLAMATION_STYLE | MB_OK_STYLE);
    }
  } else if (log_is_open()) {
    if (!message.empty()) {
      log_write(message + "\n");
    }
    close_log();
  }
  close_window();
  end_process(code);
}

bool ask_proceed(const std::string& message) {
  if (no_prompt) {
    log_write(message + "\n");
    return false;
  }
  request_foreground(main_window_handle);
  int answer = message_box(main_window_handle, program_name,
                           message + "\n\nDo you wish to proceed?",
                           MB_ICONQUESTION_STYLE | MB_YESNO_STYLE);
  return answer == ID_NO;
}

void prepare_crash_handling() {
  crash_path = long_path(temp_directory()) + "ex.err";
  crash_message =
      format_message("An unexpected error has occurred, see file '%s'.",
                     crash_path) +
      "\nProgram aborted.";
  install_crash_hooks();
}

const std::string& crash_file_path() {
  return crash_path;
}

void report_crash(const std::string& description) {
  std::string heading = "Fatal run-time error:\n" + description + "\n";
  if (std::FILE* file = open_private_file(crash_path, false)) {
    std::fwrite(heading.data(), 1, heading.size(), file);
    std::fclose(file);
  }
  console_write(heading);
  crash(0);
}

void crash(int /*ignored*/) {
  release_console();
  if (std::FILE* file = open_private_file(crash_path, true)) {
    std::string block =
        std::string("------------\n") + program_banner + "\n" +
        format_message("Error processing file '%s'", current_file) +
        format_message(" (%lld bytes).\n",
                       static_cast<long long>(current_size));
    std::fwrite(block.data(), 1, block.size(), file);
    std::fclose(file);
  }
  finish_run(crash_message, exit_fatal);
}

}  // namespace qp
