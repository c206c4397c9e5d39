#include "ui/progress.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "log/outside_text.h"
#include "report/report.h"

namespace qp {

namespace {

double progress_percent = 0;
uint64_t progress_total = 0;
uint64_t progress_done = 0;
window_handle main_window_handle = 0;
bool job_started = false;
job_routine job_to_run = nullptr;

window_handle source_label = 0;
window_handle target_label = 0;
window_handle progress_bar = 0;
window_handle percent_label = 0;
window_handle cancel_button = 0;

// The percent the bar and its label show, and the one in the title while
// minimised (-1: none yet): a step that changes neither sets no text, since
// each text set is a round trip to the window system.
int bar_percent_shown = -1;
int title_percent_shown = -1;

}  // namespace

std::string iconic_title(int percent) {
  char title[64];
  std::snprintf(title, sizeof title, "%3d %% - %s", percent, program_name);
  return title;
}

int shown_percent(double sum) {
  double ceiling = std::ceil(sum);
  if (ceiling > 100) {
    return 100;
  }
  return ceiling < 0 ? 0 : static_cast<int>(ceiling);
}

// The labels show names escaped; the files are still used by their names.
void show_names(const std::string& source, const std::string& target) {
  if (!source.empty()) {
    set_text(source_label, escape_outside_text(source));
  }
  if (!target.empty()) {
    set_text(target_label, escape_outside_text(target));
  }
}

void set_progress_total(uint64_t bytes) {
  progress_total = bytes;
  progress_done = 0;
}

void advance_progress(uint64_t bytes) {
  if (progress_total > 0) {
    progress_done += bytes;
    progress_percent = static_cast<double>(progress_done) * 100 /
                       static_cast<double>(progress_total);
  }
  int percent = shown_percent(progress_percent);
  if (is_minimised(main_window_handle)) {
    if (percent != title_percent_shown) {
      title_percent_shown = percent;
      set_text(main_window_handle, iconic_title(percent));
    }
  } else if (percent != bar_percent_shown) {
    bar_percent_shown = percent;
    set_progress_position(progress_bar, percent);
    char text[16];
    std::snprintf(text, sizeof text, "%d %%", percent);
    set_text(percent_label, text);
  }
  poll_events();
}

void handler_WIN(window_handle /*object*/, unsigned event,
                 std::uintptr_t wparam, std::intptr_t /*lparam*/) {
  if (event == EVENT_SIZE) {
    if (wparam == SIZE_RESTORED_CODE) {
      title_percent_shown = -1;
      set_text(main_window_handle, program_name);
    } else {
      title_percent_shown = shown_percent(progress_percent);
      set_text(main_window_handle, iconic_title(title_percent_shown));
    }
    set_focus(cancel_button);
    if (!job_started) {
      job_started = true;
      std::pair<std::string, int> outcome = job_to_run();
      finish_run(outcome.first, outcome.second);
    }
  } else if (event == EVENT_SETFOCUS) {
    set_focus(cancel_button);
  } else if (event == EVENT_STOP) {
    // Asked to stop from outside: a clean stop, not a question; a second
    // request does not wait for the message in hand.
    request_stop();
  }
}

void handler_CANCEL(window_handle /*object*/, unsigned event,
                    std::uintptr_t wparam, std::intptr_t /*lparam*/) {
  bool pressed =
      event == EVENT_COMMAND || (event == EVENT_KEYDOWN && wparam == KEY_ENTER);
  if (!pressed) {
    return;
  }
  // Cancel again once the stop is confirmed: no second question, the
  // message in hand is given up.
  if (!keep_running) {
    stop_at_once = true;
    return;
  }
  int answer = message_box(main_window_handle, program_name,
                           "Do you really want to abort the program?",
                           MB_ICONQUESTION_STYLE | MB_YESNO_STYLE);
  if (answer == ID_YES) {
    keep_running = false;
  }
}

void run_progress_window(const std::string& exe_path, show_mode mode,
                         job_routine job) {
  job_to_run = job;
  window_handle window = create_main_window(program_name, 100, 100, 505, 195);
  if (window == 0 && !window_fault().empty()) {
    finish_run(window_fault(), exit_fatal);
  }
  set_window_icon(window, exe_path);
  centre_window(window, 90);
  main_window_handle = window;
  set_report_owner(window);
  remove_close_command(window);
  create_control(window, CONTROL_STATIC, ROLE_HEADING, "Copy", 230, 10, 45, 15);
  create_control(window, CONTROL_STATIC, ROLE_FROM_CAPTION, "FROM:", 10, 30, 35,
                 17);
  source_label =
      create_control(window, CONTROL_STATIC, ROLE_FROM, "", 50, 30, 440, 17);
  create_control(window, CONTROL_STATIC, ROLE_TO_CAPTION, "TO:", 10, 45, 35,
                 17);
  target_label =
      create_control(window, CONTROL_STATIC, ROLE_TO, "", 50, 45, 440, 17);
  progress_bar =
      create_control(window, CONTROL_PROGRESS, ROLE_BAR, "", 25, 70, 450, 25);
  percent_label = create_control(window, CONTROL_STATIC_RIGHT, ROLE_PERCENT,
                                 "0 %", 237, 100, 30, 15);
  cancel_button = create_control(window, CONTROL_DEFAULT_BUTTON, ROLE_CANCEL,
                                 "Cancel", 200, 130, 100, 25);
  attach_handler(cancel_button, handler_CANCEL);
  job_started = false;
  attach_handler(window, handler_WIN);
  show_and_run(window, mode);
}

}  // namespace qp
