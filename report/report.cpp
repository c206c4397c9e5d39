#include "report/report.h"

#include <cstdio>
#include <string>

#include "base/paths.h"
#include "base/process.h"
#include "log/log.h"
#include "log/outside_text.h"
#include "window/platform.h"

namespace qp {
namespace {

std::string crash_path;
std::string crash_message;
bool no_prompt = false;
window_handle owner_window = 0;
std::string current_file;
int64_t current_size = -1;
std::string run_tally;

}  // namespace

void set_no_prompt(bool on) {
  no_prompt = on;
}

bool is_no_prompt() {
  return no_prompt;
}

void set_report_owner(window_handle window) {
  owner_window = window;
}

void set_file_in_hand(const std::string& name, int64_t size) {
  current_file = name;
  current_size = size;
}

void set_run_tally(const std::string& line) {
  run_tally = line;
}

void reset_report() {
  run_tally.clear();
  no_prompt = false;
  owner_window = 0;
  current_file.clear();
  current_size = -1;
}

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
      request_foreground(owner_window);
      message_box(owner_window, program_name, message,
                  MB_ICONEXCLAMATION_STYLE | MB_OK_STYLE);
    }
  } else if (log_is_open()) {
    if (!run_tally.empty()) {
      log_write(run_tally + "\n");
    }
    if (!message.empty()) {
      log_write(message + "\n");
    }
    close_log();
  }
  if (!run_tally.empty()) {
    // A clean run ends silently in the window: batch files rely on it. A
    // run that found nothing has said so in its own box already.
    bool boxed = !no_prompt && code != exit_ok && code != exit_no_files;
    show_closing_line(owner_window, std::string("Info - ") + program_name,
                      run_tally, boxed);
  }
  close_window();
  end_process(code);
}

void finish_with_info(const std::string& text) {
  if (!write_standard_output(text + "\n")) {
    message_box(0, std::string("Info - ") + program_name, text,
                MB_ICONINFORMATION_STYLE | MB_OK_STYLE);
  }
  close_window();
  end_process(exit_ok);
}

void finish_with_usage(const std::string& usage) {
  if (!no_prompt) {
    message_box(0, std::string("Info - ") + program_name, usage,
                MB_ICONINFORMATION_STYLE | MB_OK_STYLE);
  } else if (log_is_open()) {
    log_write("Syntax error when calling the program.\n");
    close_log();
  }
  close_window();
  end_process(exit_fatal);
}

void log_note(const std::string& line) {
  if (no_prompt) {
    log_write(line + "\n");
  }
}

bool ask_proceed(const std::string& message) {
  if (no_prompt) {
    log_write(message + "\n");
    return false;
  }
  request_foreground(owner_window);
  int answer = message_box(owner_window, program_name,
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
  install_crash_hooks(report_crash);
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
  run_tally.clear();  // the counts of a crashed run are not to be trusted
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
