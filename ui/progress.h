// The progress window: its state, its handlers and what the packing layer
// reports through its callback slots.
#ifndef QUILLPACK_UI_PROGRESS_H_
#define QUILLPACK_UI_PROGRESS_H_

#include <cstdint>
#include <string>

#include "ui/events.h"
#include "ui/platform.h"

namespace qp {

extern double progress_percent;
extern window_handle main_window_handle;
extern bool job_started;

// "%3d %% - quillpack", the title while the window is minimised.
std::string iconic_title(int percent);
// The whole percent shown for a running sum: its ceiling, at most 100.
int shown_percent(double sum);

void show_names(const std::string& source, const std::string& target);
void show_progress(double increment);

void handler_WIN(window_handle object, unsigned event, std::uintptr_t wparam,
                 std::intptr_t lparam);
void handler_CANCEL(window_handle object, unsigned event, std::uintptr_t wparam,
                    std::intptr_t lparam);

// Builds the window, fills the callback slots, attaches the handlers, shows
// the window and runs its loop; the first size event starts the job.
void run_progress_window(const std::string& exe_path, int show_mode);

}  // namespace qp

#endif  // QUILLPACK_UI_PROGRESS_H_
