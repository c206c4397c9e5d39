#include "log/log.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "base/paths.h"
#include "base/program.h"
#include "tests/support/scratch.h"

namespace qp {
namespace {

TEST(log, timestamp_format_and_day_names) {
  EXPECT_EQ(format_timestamp(1, 2007, 3, 5, 14, 7, 9),
            "Monday 2007-03-05, 14:07:09");
  EXPECT_EQ(format_timestamp(7, 2026, 12, 13, 0, 0, 0),
            "Sunday 2026-12-13, 00:00:00");
  EXPECT_TRUE(std::regex_match(
      log_timestamp(),
      std::regex("(Mon|Tues|Wednes|Thurs|Fri|Satur|Sun)day "
                 "\\d{4}-\\d{2}-\\d{2}, \\d{2}:\\d{2}:\\d{2}")));
}

TEST(log, one_block_per_run_appended) {
  testing_support::scratch_dir dir;
  std::string path = dir.path() + "quillpack.log";
  set_log_path(path);
  for (int run = 0; run < 2; ++run) {
    open_log({"c:\\temp\\*.eml", "c:\\data\\", "/P"});
    ASSERT_TRUE(log_is_open());
    log_write("Error reading from file 'x'.\n");
    close_log();
    EXPECT_FALSE(log_is_open());
  }
  std::string text = testing_support::read_file(path);
  // The log is a text file: CR LF on Windows.
  if (native_style.separator == '\\') {
    text = std::regex_replace(text, std::regex("\r\n"), "\n");
  }
  std::string ts = "[A-Za-z]+day \\d{4}-\\d{2}-\\d{2}, \\d{2}:\\d{2}:\\d{2}";
  std::string banner =
      std::regex_replace(std::string(program_banner), std::regex("[.]"), "\\.");
  std::string block = banner +
                      "\nCommand-line parameters:\n"
                      "   c:\\\\temp\\\\\\*\\.eml\n   c:\\\\data\\\\\n   /P\n"
                      "Begin: " +
                      ts + "\nError reading from file 'x'\\.\nEnd: " + ts +
                      "\n" + std::string(60, '-') + "\n";
  EXPECT_TRUE(std::regex_match(text, std::regex(block + block))) << text;
  set_log_path("");
}

TEST(log, a_log_that_cannot_be_opened_is_silent) {
  testing_support::scratch_dir dir;
  set_log_path(dir.path() + "missing-dir/quillpack.log");
  open_log({"a", "b", "/p"});
  EXPECT_FALSE(log_is_open());
  log_write("lost\n");
  close_log();
  set_log_path("");
}

}  // namespace
}  // namespace qp
