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

// The pump goes by the clock, not by the calls: pending window events are
// looked at once this many milliseconds have passed since the last look,
// and then all of them are taken. A look costs a round trip to the window
// system (under Wine, one to its server), far more than a line.
constexpr int event_interval_ms = 20;

// Called once per line: counts, and reads the clock only every few hundred
// calls. Cheap enough for the tightest loop.
void do_events();
// Called once per read buffer, per file or per folder, where the work
// between two calls may be long: reads the clock at once.
void poll_events();
// Takes every pending event now, due or not: before a step that a Cancel
// pressed just now must stop.
void take_events();

// A stop asked for: the first clears keep_running, a further one sets
// stop_at_once as well.
void request_stop();
// Both flags as in a fresh process: running, no stop asked for.
void reset_stop_flags();

}  // namespace qp

#endif  // QUILLPACK_WINDOW_EVENTS_H_
