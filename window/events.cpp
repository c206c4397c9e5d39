#include "window/events.h"

#include <chrono>

#include "window/platform.h"

namespace qp {

bool keep_running = true;
bool stop_at_once = false;

namespace {

using event_clock = std::chrono::steady_clock;

// Lines between two clock reads: a few hundred lines take microseconds,
// and a line long enough to take longer reads its buffers through
// poll_events.
constexpr int calls_per_clock_read = 256;

int calls_until_clock_read = 0;
event_clock::time_point next_look{};  // the first call looks at once

}  // namespace

void do_events() {
  if (event_signalled) {
    take_events();
    return;
  }
  if (--calls_until_clock_read > 0) {
    return;
  }
  poll_events();
}

void poll_events() {
  calls_until_clock_read = calls_per_clock_read;
  event_clock::time_point now = event_clock::now();
  if (now < next_look && !event_signalled) {
    return;
  }
  next_look = now + std::chrono::milliseconds(event_interval_ms);
  pump_pending_events();
}

void take_events() {
  calls_until_clock_read = calls_per_clock_read;
  next_look = event_clock::now() + std::chrono::milliseconds(event_interval_ms);
  pump_pending_events();
}

void request_stop() {
  if (!keep_running) {
    stop_at_once = true;
  }
  keep_running = false;
}

void reset_stop_flags() {
  keep_running = true;
  stop_at_once = false;
}

}  // namespace qp
