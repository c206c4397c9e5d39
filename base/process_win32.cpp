// Process services on Windows.
#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "base/arguments.h"
#include "base/paths.h"
#include "base/process.h"
#include "base/program.h"
#include "base/wide_win32.h"

namespace qp {

// Without the long-path prefix, which the system may report.
std::string own_path() {
  std::vector<wchar_t> buffer(MAX_PATH);
  while (true) {
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
    if (length == 0) {
      return "";
    }
    if (length < size) {
      return strip_long_prefix(narrow(buffer.data(), length));
    }
    buffer.resize(buffer.size() * 2);  // truncated: try a larger buffer
  }
}

// The command line as the system holds it, not the C runtime's argv: the
// program's own splitting rules apply, without escape characters. The wide
// line holds every name as typed, in any script.
std::vector<std::string> program_arguments(int /*argc*/, char** /*argv*/) {
  const wchar_t* line = GetCommandLineW();
  return split_command_line(line != nullptr ? narrow(std::wstring(line)) : "");
}

local_time current_local_time() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  local_time t{};
  t.year = now.wYear;
  t.month = now.wMonth;
  t.day = now.wDay;
  t.hour = now.wHour;
  t.minute = now.wMinute;
  t.second = now.wSecond;
  // wDayOfWeek counts Sunday = 0; the log counts Monday = 1 ... Sunday = 7.
  t.weekday = now.wDayOfWeek == 0 ? 7 : now.wDayOfWeek;
  return t;
}

void end_process(int code) {
  std::fflush(nullptr);
  ExitProcess(static_cast<UINT>(code));
}

namespace {

// Set once by install_crash_hooks, before any hook can fire.
crash_routine crash_routine_in_use = nullptr;

// The crash routine does not return; should it, the process ends anyway.
[[noreturn]] void crash_with(const std::string& description) {
  crash_routine_in_use(description);
  end_process(exit_fatal);
}

volatile LONG crash_in_progress = 0;

// Only system calls, no heap: the message in hand is cut off, so the
// target holds whole messages whatever the report then manages.
void cut_back_crash_target() {
  intptr_t handle;
  int64_t whole;
  if (!take_crash_target(handle, whole)) {
    return;
  }
  HANDLE file = reinterpret_cast<HANDLE>(handle);
  LARGE_INTEGER size;
  size.QuadPart = whole;
  if (SetFilePointerEx(file, size, nullptr, FILE_BEGIN)) {
    SetEndOfFile(file);
  }
}

// True for the first failure only; a second one while reporting the first
// ends the process at once.
bool first_crash() {
  if (InterlockedExchange(&crash_in_progress, 1) != 0) {
    ExitProcess(exit_fatal);
  }
  return true;
}

const char* exception_name(DWORD code) {
  switch (code) {
  case EXCEPTION_ACCESS_VIOLATION:
    return "access violation";
  case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    return "array bounds exceeded";
  case EXCEPTION_DATATYPE_MISALIGNMENT:
    return "datatype misalignment";
  case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    return "floating-point division by zero";
  case EXCEPTION_ILLEGAL_INSTRUCTION:
    return "illegal instruction";
  case EXCEPTION_IN_PAGE_ERROR:
    return "in-page error";
  case EXCEPTION_INT_DIVIDE_BY_ZERO:
    return "integer division by zero";
  case EXCEPTION_PRIV_INSTRUCTION:
    return "privileged instruction";
  case EXCEPTION_STACK_OVERFLOW:
    return "stack overflow";
  default:
    return "exception";
  }
}

LONG WINAPI on_unhandled_exception(EXCEPTION_POINTERS* info) {
  first_crash();
  cut_back_crash_target();
  char text[160];
  const EXCEPTION_RECORD* record = info ? info->ExceptionRecord : nullptr;
  if (record) {
    std::snprintf(text, sizeof text, "%s (code 0x%08lX) at address %p",
                  exception_name(record->ExceptionCode),
                  static_cast<unsigned long>(record->ExceptionCode),
                  record->ExceptionAddress);
  } else {
    std::snprintf(text, sizeof text, "unhandled exception");
  }
  crash_with(text);
}

// raise() and abort() go through the C runtime's signals, not through the
// system's exception dispatch.
void on_fatal_signal(int signal_number) {
  first_crash();
  cut_back_crash_target();
  switch (signal_number) {
  case SIGSEGV:
    crash_with("segmentation fault (SIGSEGV)");
  case SIGFPE:
    crash_with("arithmetic exception (SIGFPE)");
  case SIGILL:
    crash_with("illegal instruction (SIGILL)");
  default:
    crash_with("abort (SIGABRT)");
  }
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
  first_crash();
  cut_back_crash_target();
  crash_with(description);
}

}  // namespace

void install_crash_hooks(crash_routine on_crash) {
  crash_routine_in_use = on_crash;
  // Stack kept for the filter when the failure is a stack overflow.
  ULONG guarantee = 64 * 1024;
  SetThreadStackGuarantee(&guarantee);
  // No system error box: the program writes its own report.
  SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(on_unhandled_exception);
  std::set_terminate(on_terminate);
  for (int s : {SIGSEGV, SIGFPE, SIGILL, SIGABRT}) {
    std::signal(s, on_fatal_signal);
  }
}

void release_console() {
  FreeConsole();
}

void console_write(const std::string& text) {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) {
    return;
  }
  DWORD written = 0;
  WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
}

// A desktop program has a standard output only when it was redirected to a
// file or a pipe; a console does not take it.
bool write_standard_output(const std::string& text) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) {
    return false;
  }
  DWORD type = GetFileType(output);
  if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE) {
    return false;
  }
  std::string lines;
  for (char c : text) {
    if (c == '\n') {
      lines += '\r';
    }
    lines += c;
  }
  DWORD written = 0;
  WriteFile(output, lines.data(), static_cast<DWORD>(lines.size()), &written,
            nullptr);
  return true;
}

const command_line_habits native_habits = {
    "/?", "( Example:  quillpack  c:\\temp\\*.eml  c:\\data\\  /p /a )", ""};

// The temporary directory is the user's own on Windows. Text mode: every
// line feed is written as CR LF; the bytes are the program's UTF-8 as they
// stand, without a byte order mark.
std::FILE* open_private_file(const std::string& path, bool append) {
  return _wfopen(system_path(path).c_str(), append ? L"a" : L"w");
}

}  // namespace qp
