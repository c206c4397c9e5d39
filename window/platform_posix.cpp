// The window on POSIX: a status display on standard error when that is a
// terminal, message boxes as text on standard error with Yes/No answers read
// from the controlling terminal, and Ctrl-C (SIGINT) as the Cancel button.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "log/outside_text.h"
#include "window/platform.h"
#include "window/terminal_display.h"

namespace qp {
namespace {

struct control {
  control_kind kind = CONTROL_STATIC;
  control_role role = ROLE_OTHER;
  std::string text;
  int position = 0;
  event_handler handler = nullptr;
};

// Handle 1 is the main window; controls follow in creation order.
constexpr window_handle main_handle = 1;
std::vector<control> controls(1);  // index 0 unused
event_handler main_handler = nullptr;
std::string main_caption;

bool minimised = false;
bool shown = false;
bool display_enabled = false;  // decided once, when the window is shown
bool display_drawn = false;
bool display_dirty = false;  // drawn at the next event pump
bool title_pushed = false;
std::string title_shown;

}  // namespace

volatile std::sig_atomic_t event_signalled = 0;

namespace {

volatile sig_atomic_t pending_interrupt = 0;
volatile sig_atomic_t pending_terminate = 0;

void on_interrupt(int) {
  pending_interrupt = 1;
  event_signalled = 1;
}

// Counted (up to two), since the pump may come after both: a second
// request does not wait for the message in hand.
void on_terminate(int) {
  if (pending_terminate < 2) {
    pending_terminate = pending_terminate + 1;
  }
  event_signalled = 1;
}

void write_all(int fd, const std::string& text) {
  const char* data = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = write(fd, data, left);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return;
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
}

void write_stderr(const std::string& text) {
  write_all(STDERR_FILENO, text);
}

bool stderr_is_terminal() {
  if (!isatty(STDERR_FILENO)) {
    return false;
  }
  const char* term = std::getenv("TERM");
  return !term || std::strcmp(term, "dumb") != 0;
}

size_t terminal_width() {
  struct winsize size {};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
    return size.ws_col;
  }
  return 80;
}

// What does not fit in a line is not shown, as in a label. The texts are
// escaped already, so they hold whole characters only, and a character is
// never split.
std::string clipped(const std::string& text, size_t width) {
  return character_count(text) < width ? text
                                       : first_characters(text, width - 1);
}

// The last control made for a role; null when there is none.
const control* control_for(control_role role) {
  for (size_t i = controls.size(); i-- > 1;) {
    if (controls[i].role == role) {
      return &controls[i];
    }
  }
  return nullptr;
}

std::string text_for(control_role role) {
  const control* c = control_for(role);
  return c ? c->text : std::string();
}

std::string bar_line(size_t width) {
  const control* bar = control_for(ROLE_BAR);
  int percent = bar ? bar->position : 0;
  size_t cells = width > 20 ? (width < 62 ? width - 12 : 50) : 8;
  size_t filled = cells * static_cast<size_t>(percent) / 100;
  std::string text = text_for(ROLE_PERCENT);
  if (text.size() < 5) {
    text = std::string(5 - text.size(), ' ') + text;
  }
  return "[" + std::string(filled, '#') + std::string(cells - filled, '.') +
         "] " + text;
}

}  // namespace

std::vector<std::string> terminal_display_lines(size_t width) {
  return {
      clipped(text_for(ROLE_HEADING), width),
      clipped(text_for(ROLE_FROM_CAPTION) + " " + text_for(ROLE_FROM), width),
      clipped(text_for(ROLE_TO_CAPTION) + "   " + text_for(ROLE_TO), width),
      clipped(bar_line(width), width)};
}

namespace {

void erase_display() {
  if (display_drawn) {
    write_stderr("\r\033[3A\033[J");
    display_drawn = false;
  }
}

void draw_display() {
  if (!display_enabled || minimised || !shown) {
    return;
  }
  std::string out;
  if (display_drawn) {
    out += "\r\033[3A";
  }
  std::vector<std::string> lines = terminal_display_lines(terminal_width());
  for (size_t i = 0; i < lines.size(); ++i) {
    out += "\033[2K" + lines[i];
    if (i + 1 < lines.size()) {
      out += "\n";
    }
  }
  write_stderr(out);
  display_drawn = true;
  display_dirty = false;
}

void set_terminal_title(const std::string& title) {
  if (!display_enabled || title == title_shown) {
    return;
  }
  if (!title_pushed) {
    write_stderr("\033[22;0t");  // keep the user's title for the end
    title_pushed = true;
  }
  write_stderr("\033]0;" + title + "\007");
  title_shown = title;
}

void install_signal_handlers() {
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: a pending answer read is interrupted
  action.sa_handler = on_interrupt;
  sigaction(SIGINT, &action, nullptr);
  action.sa_handler = on_terminate;
  sigaction(SIGTERM, &action, nullptr);
  // A closed terminal stops the run as cleanly as SIGTERM does, unless the
  // program was started to outlive it (nohup).
  struct sigaction hangup {};
  if (sigaction(SIGHUP, nullptr, &hangup) == 0 &&
      hangup.sa_handler != SIG_IGN) {
    sigaction(SIGHUP, &action, nullptr);
  }
  // A standard error that nobody reads any more must not end the run in
  // the middle of a message.
  signal(SIGPIPE, SIG_IGN);
}

// Whether standard error is the controlling terminal, the one that
// /dev/tty opens. The descriptor of /dev/tty cannot tell: it stats and
// names as /dev/tty itself, never as the terminal behind it. A terminal
// whose session is this process's session is that terminal, as a session
// has one controlling terminal and a terminal controls one session.
bool stderr_is_controlling_terminal() {
  if (!isatty(STDERR_FILENO)) {
    return false;
  }
  pid_t session = tcgetsid(STDERR_FILENO);
  return session != -1 && session == getsid(0);
}

// The question goes to the terminal that answers it, and to standard error
// too when that is elsewhere (a file, a pipe): nobody waits on a question
// that cannot be seen, and a log of standard error still shows it.
void show_question(int terminal, const std::string& prompt) {
  if (terminal < 0 || !stderr_is_controlling_terminal()) {
    write_stderr(prompt);
  }
  if (terminal >= 0) {
    write_all(terminal, prompt);
  }
}

// Reads one answer line from the controlling terminal; false when there is
// no terminal, or the run was asked to stop while waiting.
bool read_answer(int fd, std::string& answer) {
  if (fd < 0) {
    return false;
  }
  answer.clear();
  char c;
  while (true) {
    // A stop that lands between the question and the read must not leave
    // the read waiting for good: wait in short steps and look again.
    if (pending_terminate) {
      return false;
    }
    struct pollfd ready = {fd, POLLIN, 0};
    int polled = poll(&ready, 1, 100);
    if (polled == 0 || (polled < 0 && errno == EINTR)) {
      continue;
    }
    ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    if (c == '\n') {
      break;
    }
    answer.push_back(c);
  }
  return true;
}

int ask_yes_no(const std::string& text) {
  int terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  int result = ID_NONE;
  std::string prompt = text + " [Y/n] ";
  while (result == ID_NONE) {
    show_question(terminal, prompt);
    std::string answer;
    if (!read_answer(terminal, answer)) {
      show_question(terminal, "\n");
      break;
    }
    size_t start = answer.find_first_not_of(" \t\r");
    std::string word = start == std::string::npos ? "" : answer.substr(start);
    char first = word.empty() ? 'y' : word[0];
    if (first == 'y' || first == 'Y') {
      result = ID_YES;
    } else if (first == 'n' || first == 'N') {
      result = ID_NO;
    }
    prompt = "Please answer y or n. [Y/n] ";
  }
  if (terminal >= 0) {
    close(terminal);
  }
  return result;
}

}  // namespace

void prepare_events() {
  install_signal_handlers();
}

window_handle create_main_window(const std::string& caption, int, int, int,
                                 int) {
  main_caption = caption;
  return main_handle;
}

std::string window_fault() {
  return std::string();
}

window_handle create_control(window_handle, control_kind kind,
                             control_role role, const std::string& text, int,
                             int, int, int) {
  control c;
  c.kind = kind;
  c.role = role;
  c.text = text;
  controls.push_back(c);
  return static_cast<window_handle>(controls.size());  // index + 1
}

void set_window_icon(window_handle, const std::string&) {}

void centre_window(window_handle, int) {}

void remove_close_command(window_handle) {}

void set_text(window_handle window, const std::string& text) {
  if (window == main_handle) {
    main_caption = text;
    if (minimised) {
      set_terminal_title(text);
    }
    return;
  }
  size_t index = static_cast<size_t>(window) - 1;
  if (window == 0 || index >= controls.size() || controls[index].text == text) {
    return;
  }
  controls[index].text = text;
  display_dirty = true;
}

void set_progress_position(window_handle bar, int percent) {
  size_t index = static_cast<size_t>(bar) - 1;
  if (bar == 0 || index >= controls.size() ||
      controls[index].position == percent) {
    return;
  }
  controls[index].position = percent;
  display_dirty = true;
}

bool is_minimised(window_handle) {
  return minimised;
}

void set_focus(window_handle) {}

void attach_handler(window_handle window, event_handler handler) {
  if (window == main_handle) {
    main_handler = handler;
    return;
  }
  size_t index = static_cast<size_t>(window) - 1;
  if (window != 0 && index < controls.size()) {
    controls[index].handler = handler;
  }
}

void show_and_run(window_handle window, show_mode mode) {
  minimised = mode == SHOW_MINIMISED;
  display_enabled = stderr_is_terminal();
  shown = true;
  draw_display();
  // Showing the window is its first size notification.
  if (main_handler) {
    main_handler(window, EVENT_SIZE,
                 minimised ? SIZE_MINIMIZED_CODE : SIZE_RESTORED_CODE, 0);
  }
}

void pump_pending_events() {
  event_signalled = 0;
  if (display_dirty) {
    display_dirty = false;
    draw_display();
  }
  while (pending_terminate > 0) {
    // A service manager or kill wants a clean stop, not a question.
    pending_terminate = pending_terminate - 1;
    if (main_handler) {
      main_handler(main_handle, EVENT_STOP, 0, 0);
    }
  }
  if (pending_interrupt) {
    pending_interrupt = 0;
    // Ctrl-C is a click on Cancel.
    for (size_t i = controls.size(); i-- > 1;) {
      if (controls[i].role == ROLE_CANCEL && controls[i].handler) {
        controls[i].handler(static_cast<window_handle>(i + 1), EVENT_COMMAND, 0,
                            0);
        return;
      }
    }
  }
}

int message_box(window_handle, const std::string&, const std::string& text,
                unsigned style) {
  bool was_drawn = display_drawn;
  erase_display();
  int result;
  if ((style & MB_BUTTONS_MASK) == MB_YESNO_STYLE) {
    result = ask_yes_no(text);
  } else {
    write_stderr(text + "\n");
    result = ID_OK;
  }
  if (was_drawn) {
    draw_display();
  }
  return result;
}

void request_foreground(window_handle) {}

void show_closing_line(window_handle, const std::string&,
                       const std::string& line, bool) {
  if (display_dirty) {
    draw_display();  // the last state, before it gives way
  }
  erase_display();
  display_dirty = false;
  if (isatty(STDERR_FILENO)) {
    write_stderr(line + "\n");
  }
}

void close_window() {
  if (display_dirty) {
    draw_display();  // the last state, 100 % after a whole run
  }
  if (display_drawn) {
    write_stderr("\n");
    display_drawn = false;
  }
  if (title_pushed) {
    write_stderr("\033[23;0t");
    title_pushed = false;
  }
}

}  // namespace qp
