// What the working layers see of the window: the event pump and the two
// stop flags, which the hot loops read once per line.
#ifndef QUILLPACK_WINDOW_EVENTS_H_
#define QUILLPACK_WINDOW_EVENTS_H_

namespace qp {

// True until the user confirms Cancel (or the process is asked to stop).
extern bool keep_running;
// Set when a stop is asked for again after keep_running was cleared: the
// message in hand is then abandoned (cut back) instead of finished.
extern bool stop_at_once;

// Dispatches at most one pending window event; returns at once when none
// is pending. Cheap enough to call once per line.
void do_events();

// A stop asked for: the first clears keep_running, a further one sets
// stop_at_once as well.
void request_stop();
// Both flags as in a fresh process: running, no stop asked for.
void reset_stop_flags();

}  // namespace qp

#endif  // QUILLPACK_WINDOW_EVENTS_H_
