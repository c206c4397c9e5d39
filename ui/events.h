// What the working layers see of the window: the event pump and the flag
// that a confirmed Cancel clears.
#ifndef QUILLPACK_UI_EVENTS_H_
#define QUILLPACK_UI_EVENTS_H_

namespace qp {

// True until the user confirms Cancel (or the process is asked to stop).
extern bool keep_running;
// Set when a stop is asked for again after keep_running was cleared: the
// message in hand is then abandoned (cut back) instead of finished.
extern bool stop_at_once;

// Dispatches at most one pending window event; returns at once when none
// is pending. Cheap enough to call once per line.
void do_events();

}  // namespace qp

#endif  // QUILLPACK_UI_EVENTS_H_
