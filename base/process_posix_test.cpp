// The crash hooks on POSIX: whatever the failure, a stack overflow too,
// the report runs and the target is cut back to its whole messages.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "base/process.h"
#include "tests/support/scratch.h"

namespace qp {
namespace {

using testing_support::read_file;
using testing_support::scratch_dir;

void report_and_end(const std::string& description) {
  console_write("crash report: " + description + "\n");
  end_process(3);
}

volatile bool endless = true;

int overflow(int depth) {
  volatile char frame[4096];
  frame[0] = static_cast<char>(depth);
  return endless ? overflow(depth + 1) + frame[0] : frame[0];
}

// Writes a partial message behind the whole ones, then fails as told.
void crash_while_writing(const std::string& target, void (*fail)()) {
  int fd = open(target.c_str(), O_WRONLY | O_APPEND);
  install_crash_hooks(report_and_end);
  set_crash_target(fd, 10);
  ssize_t ignored = write(fd, "partial", 7);
  (void)ignored;
  fail();
}

TEST(process_posix_death, every_crash_reports_and_cuts_the_target_back) {
  struct crash_case {
    const char* description;
    void (*fail)();
  } cases[] = {
      {"segmentation fault", [] { overflow(0); }},
      {"bus error", [] { kill(getpid(), SIGBUS); }},
      {"abort", [] { abort(); }},
      {"unhandled exception", [] { std::terminate(); }},
  };
  // A forked child crashes into the parent's directory: the parent then
  // reads the target the child cut back, and removes the directory (a
  // re-executed child would make a directory of its own and leave it).
  GTEST_FLAG_SET(death_test_style, "fast");
  for (const crash_case& c : cases) {
    scratch_dir dir;
    std::string target = dir.write("t.mbx", "0123456789");
    EXPECT_EXIT(crash_while_writing(target, c.fail), testing::ExitedWithCode(3),
                std::string("crash report: ") + c.description)
        << c.description;
    EXPECT_EQ(read_file(target), "0123456789") << c.description;
  }
}

}  // namespace
}  // namespace qp
