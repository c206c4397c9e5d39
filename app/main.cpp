// quillpack: packs separate e-mail files into mbox files.
#include <csignal>
#include <cstdlib>
#include <string>

#include "app/command_line.h"
#include "app/job.h"
#include "app/process.h"
#include "app/report.h"
#include "collect/paths.h"
#include "config/settings.h"
#include "log/log.h"
#include "pack/target.h"
#include "ui/platform.h"
#include "ui/progress.h"

#if defined(QUILLPACK_TEST_HOOKS)
namespace {

// Test builds only: QUILLPACK_TEST_CRASH=job makes the job fail at once.
void forced_crash() {
  const char* where = std::getenv("QUILLPACK_TEST_CRASH");
  if (where && std::string(where) == "job") {
    std::raise(SIGSEGV);
  }
}

}  // namespace
#endif

int main(int argc, char** argv) {
  using namespace qp;
  prepare_events();
  set_log_path(temp_directory() + program_name + ".log");
  keep_running = true;
  stop_at_once = false;
  no_prompt = false;
  progress_percent = 0;
  main_window_handle = 0;
  current_file.clear();
  current_size = -1;

  parse_command_line(program_arguments(argc, argv));
  set_default_settings();
  prepare_crash_handling();
#if defined(QUILLPACK_TEST_HOOKS)
  job_start_hook = forced_crash;
#endif
  run_progress_window(own_path(), run.show_mode);
  finish_run("", exit_ok);
}
