#include "window/events.h"

#include "window/platform.h"

namespace qp {

bool keep_running = true;
bool stop_at_once = false;

void do_events() {
  pump_one_event();
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
