// quillpack: packs separate e-mail files into mbox files.
#include <csignal>
#include <cstdlib>
#include <string>
#include <utility>

#include "app/command_line.h"
#include "app/job.h"
#include "base/paths.h"
#include "base/process.h"
#include "config/settings.h"
#include "log/log.h"
#include "pack/target.h"
#include "report/report.h"
#include "ui/progress.h"
#include "window/platform.h"

namespace {

#if defined(QUILLPACK_TEST_HOOKS)
volatile bool stack_is_endless = true;

// Recurses until the stack runs out.
int overflow_stack(int depth) {
  volatile char frame[4096];
  frame[0] = static_cast<char>(depth);
  if (!stack_is_endless) {
    return frame[0];
  }
  return overflow_stack(depth + 1) + frame[0];
}

// Test builds only: QUILLPACK_TEST_CRASH=job makes the job fail at once,
// QUILLPACK_TEST_CRASH=stack with a stack overflow.
void forced_crash() {
  const char* where = std::getenv("QUILLPACK_TEST_CRASH");
  if (where && std::string(where) == "job") {
    std::raise(SIGSEGV);
  }
  if (where && std::string(where) == "stack") {
    overflow_stack(0);
  }
}
#endif

// The job of this run, as the command line asked for it.
std::pair<std::string, int> run_this_job() {
  return qp::run_job(qp::parsed_run());
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qp;
  prepare_events();
  set_log_path(temp_directory() + program_name + ".log");

  parse_command_line(program_arguments(argc, argv));
  set_default_settings();
  prepare_crash_handling();
#if defined(QUILLPACK_TEST_HOOKS)
  set_job_start_hook(forced_crash);
#endif
  run_progress_window(own_path(),
                      parsed_run().minimised ? SHOW_MINIMISED : SHOW_RESTORED,
                      run_this_job);
  finish_run("", exit_ok);
}
