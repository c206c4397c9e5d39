// The progress window: its state, its handlers, what it shows of the
// packing, and the job it runs once it is shown.
#ifndef QUILLPACK_UI_PROGRESS_H_
#define QUILLPACK_UI_PROGRESS_H_

#include <cstdint>
#include <string>
#include <utility>

#include "window/events.h"
#include "window/platform.h"

namespace qp {

// The job the window runs: (message, exit code); may end the process itself.
using job_routine = std::pair<std::string, int> (*)();

// "%3d %% - quillpack", the title while the window is minimised.
std::string iconic_title(int percent);
// The whole percent shown for a running sum: its ceiling, at most 100.
int shown_percent(double sum);

void show_names(const std::string& source, const std::string& target);
// The bytes of the whole job, and the bytes done since the last call: the
// one place where bytes become a percentage. A job of no bytes stays at
// 0 %.
void set_progress_total(uint64_t bytes);
void advance_progress(uint64_t bytes);

void handler_WIN(window_handle object, unsigned event, std::uintptr_t wparam,
                 std::intptr_t lparam);
void handler_CANCEL(window_handle object, unsigned event, std::uintptr_t wparam,
                    std::intptr_t lparam);

// Builds the window, attaches the handlers, shows the window and runs its
// loop; the first size event starts the job, whose outcome ends the run.
void run_progress_window(const std::string& exe_path, show_mode mode,
                         job_routine job);

}  // namespace qp

#endif  // QUILLPACK_UI_PROGRESS_H_
