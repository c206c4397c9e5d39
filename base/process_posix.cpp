// Process services on POSIX.
#include "base/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <string>

#include "base/program.h"

#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

namespace qp {

std::string own_path() {
#if defined(__APPLE__)
  char buffer[PATH_MAX];
  uint32_t size = sizeof buffer;
  if (_NSGetExecutablePath(buffer, &size) == 0) {
    return buffer;
  }
  return "";
#else
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) {
    return "";
  }
  return std::string(buffer, static_cast<size_t>(n));
#endif
}

std::vector<std::string> program_arguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.emplace_back(argv[i]);
  }
  return args;
}

local_time current_local_time() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  local_time t{};
  t.year = parts.tm_year + 1900;
  t.month = parts.tm_mon + 1;
  t.day = parts.tm_mday;
  t.hour = parts.tm_hour;
  t.minute = parts.tm_min;
  t.second = parts.tm_sec;
  // tm_wday counts Sunday = 0; the log counts Monday = 1 ... Sunday = 7.
  t.weekday = parts.tm_wday == 0 ? 7 : parts.tm_wday;
  return t;
}

void end_process(int code) {
  std::fflush(nullptr);
  std::_Exit(code);
}

namespace {

// Set once by install_crash_hooks, before any hook can fire.
crash_routine crash_routine_in_use = nullptr;

// The stack the signal handlers run on, so that a stack overflow is
// reported too.
constexpr size_t crash_stack_size = 256 * 1024;
alignas(16) char crash_stack[crash_stack_size];

// Only what is safe in a signal handler: the message in hand is cut off,
// so the target holds whole messages whatever the report then manages.
void cut_back_crash_target() {
  intptr_t handle;
  int64_t size;
  if (take_crash_target(handle, size) && handle >= 0) {
    int ignored = ftruncate(static_cast<int>(handle), static_cast<off_t>(size));
    (void)ignored;
  }
}

// The crash routine does not return; should it, the process ends anyway.
[[noreturn]] void crash_with(const std::string& description) {
  crash_routine_in_use(description);
  end_process(exit_fatal);
}

const char* signal_description(int signal_number) {
  switch (signal_number) {
  case SIGSEGV:
    return "segmentation fault (SIGSEGV)";
  case SIGBUS:
    return "bus error (SIGBUS)";
  case SIGFPE:
    return "arithmetic exception (SIGFPE)";
  case SIGILL:
    return "illegal instruction (SIGILL)";
  case SIGABRT:
    return "abort (SIGABRT)";
  default:
    return "fatal signal";
  }
}

volatile sig_atomic_t crash_in_progress = 0;

void on_fatal_signal(int signal_number) {
  // A second fault while reporting the first ends at once.
  if (crash_in_progress) {
    std::_Exit(exit_fatal);
  }
  crash_in_progress = 1;
  cut_back_crash_target();
  // The report is not safe in a signal handler: should it hang (a crash
  // inside the allocator), the process still ends.
  alarm(10);
  crash_with(signal_description(signal_number));
}

void on_terminate() {
  std::string description = "unhandled exception";
  if (std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const std::exception& e) {
      description += ": ";
      description += e.what();
    } catch (...) {
    }
  }
  if (crash_in_progress) {
    std::_Exit(exit_fatal);
  }
  crash_in_progress = 1;
  cut_back_crash_target();
  crash_with(description);
}

}  // namespace

void install_crash_hooks(crash_routine on_crash) {
  crash_routine_in_use = on_crash;
  std::set_terminate(on_terminate);
  stack_t stack{};
  stack.ss_sp = crash_stack;
  stack.ss_size = crash_stack_size;
  sigaltstack(&stack, nullptr);
  struct sigaction action {};
  action.sa_handler = on_fatal_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND | SA_NODEFER | SA_ONSTACK;
  for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
    sigaction(s, &action, nullptr);
  }
  // Past a file size limit a write then fails, as on a full disk, and the
  // message in hand is cut back, instead of the process ending mid-message.
  signal(SIGXFSZ, SIG_IGN);
}

void release_console() {
  // A terminal stays with the shell that started the program.
}

void console_write(const std::string& text) {
  ssize_t ignored = write(STDERR_FILENO, text.data(), text.size());
  (void)ignored;
}

bool write_standard_output(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(STDOUT_FILENO, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      break;  // a closed output: nothing else could show the text
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// "/s" is a path here as well as an option: options may take a dash.
const command_line_habits native_habits = {
    "", "( Example:  quillpack  ~/mail/inbox/*.eml  ~/data/  /p /a )",
    "\n"
    "\n"
    "Options may also be written with a dash (-p -i -a -s -d), and come after\n"
    "the two paths; a path that begins with - is written as ./-name.\n"
    "-h, --help shows this text, -V, --version the version."};

std::FILE* open_private_file(const std::string& path, bool append) {
  int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC |
              (append ? O_APPEND : O_TRUNC);
  int fd = open(path.c_str(), flags, 0600);
  if (fd < 0) {
    return nullptr;
  }
  std::FILE* file = fdopen(fd, append ? "a" : "w");
  if (!file) {
    close(fd);
  }
  return file;
}

}  // namespace qp
