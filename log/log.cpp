#include "log/log.h"

#include <cstdio>
#include <string>

#include "base/process.h"
#include "base/program.h"
#include "log/outside_text.h"

namespace qp {
namespace {

std::string log_file_path;
std::FILE* log_file = nullptr;

const char* const day_names[7] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                  "Friday", "Saturday", "Sunday"};

}  // namespace

void set_log_path(const std::string& path) {
  log_file_path = path;
}

std::string format_timestamp(int weekday, int year, int month, int day,
                             int hour, int minute, int second) {
  const char* name = weekday >= 1 && weekday <= 7 ? day_names[weekday - 1] : "";
  char text[96];
  std::snprintf(text, sizeof text, "%s %04d-%02d-%02d, %02d:%02d:%02d", name,
                year, month, day, hour, minute, second);
  return text;
}

std::string log_timestamp() {
  local_time now = current_local_time();
  return format_timestamp(now.weekday, now.year, now.month, now.day, now.hour,
                          now.minute, now.second);
}

void open_log(const std::vector<std::string>& args) {
  log_file = open_private_file(log_file_path, true);
  if (!log_file) {
    return;
  }
  std::string header =
      std::string(program_banner) + "\nCommand-line parameters:\n";
  for (const std::string& arg : args) {
    header += "   " + escape_outside_text(arg) + "\n";
  }
  header += "Begin: " + log_timestamp() + "\n";
  log_write(header);
}

bool log_is_open() {
  return log_file != nullptr;
}

// Each write reaches the file at once, so that a crash leaves every line
// written before it.
void log_write(const std::string& text) {
  if (log_file) {
    std::fwrite(text.data(), 1, text.size(), log_file);
    std::fflush(log_file);
  }
}

void close_log() {
  if (!log_file) {
    return;
  }
  log_write("End: " + log_timestamp() + "\n" + std::string(60, '-') + "\n");
  std::fclose(log_file);
  log_file = nullptr;
}

}  // namespace qp
