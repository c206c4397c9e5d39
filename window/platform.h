// The windowing layer: the window, its controls, the event loop and the
// message boxes. On POSIX the window is a status display on the terminal.
#ifndef QUILLPACK_WINDOW_PLATFORM_H_
#define QUILLPACK_WINDOW_PLATFORM_H_

#include <csignal>
#include <cstdint>
#include <string>

namespace qp {

using window_handle = std::uintptr_t;

// Event codes as the handlers receive them; the windowing layer maps the
// system's own events onto these.
enum : unsigned {
  EVENT_SIZE = 1,
  EVENT_SETFOCUS,
  EVENT_KEYDOWN,
  EVENT_COMMAND,
  // The process is asked to stop (SIGTERM, a closed terminal): no question.
  EVENT_STOP,
};
// The wparam of EVENT_SIZE and of EVENT_KEYDOWN.
enum : unsigned { SIZE_RESTORED_CODE = 0, SIZE_MINIMIZED_CODE = 1 };
enum : unsigned { KEY_ENTER = 13 };

// Message-box styles (one button set, one icon) and results.
enum : unsigned {
  MB_OK_STYLE = 0,
  MB_YESNO_STYLE = 1,
  MB_BUTTONS_MASK = 0x0F,
  MB_ICONHAND_STYLE = 0x10,
  MB_ICONQUESTION_STYLE = 0x20,
  MB_ICONEXCLAMATION_STYLE = 0x30,
  MB_ICONINFORMATION_STYLE = 0x40,
  MB_ICON_MASK = 0xF0,
};
enum : int { ID_NONE = 0, ID_OK, ID_YES, ID_NO };

// How the window first shows.
enum show_mode { SHOW_RESTORED, SHOW_MINIMISED };

enum control_kind {
  CONTROL_STATIC,        // left-aligned text
  CONTROL_STATIC_RIGHT,  // right-aligned text
  CONTROL_PROGRESS,      // smooth bar, range 0 to 100
  CONTROL_DEFAULT_BUTTON,
};

// What a control is for. The terminal display is built from these, so
// that a control added to the window moves nothing on the terminal.
enum control_role {
  ROLE_OTHER,  // shown in the window only
  ROLE_HEADING,
  ROLE_FROM_CAPTION,
  ROLE_FROM,
  ROLE_TO_CAPTION,
  ROLE_TO,
  ROLE_BAR,
  ROLE_PERCENT,
  ROLE_CANCEL,  // the button that Ctrl-C presses on a terminal
};

using event_handler = void (*)(window_handle object, unsigned event,
                               std::uintptr_t wparam, std::intptr_t lparam);

// Starts taking the events the window will dispatch, before it exists (on
// POSIX: Ctrl-C as Cancel, and SIGTERM), so none is lost at start-up.
void prepare_events();

// 0 when no window can be made: then the run goes on without one, unless
// window_fault() says why the windowing cannot work at all.
window_handle create_main_window(const std::string& caption, int x, int y,
                                 int width, int height);
// The text of a fault that leaves the program without its windowing (the
// window class could not be registered); empty when there is none.
std::string window_fault();
window_handle create_control(window_handle parent, control_kind kind,
                             control_role role, const std::string& text, int x,
                             int y, int width, int height);
void set_window_icon(window_handle window, const std::string& exe_path);
// Centres the window on the screen and lifts it by lift pixels.
void centre_window(window_handle window, int lift);
// Deletes the last two entries of the system menu (Close and its separator)
// and makes the window refuse to close.
void remove_close_command(window_handle window);
void set_text(window_handle window, const std::string& text);
void set_progress_position(window_handle bar, int percent);
bool is_minimised(window_handle window);
void set_focus(window_handle window);
void attach_handler(window_handle window, event_handler handler);
// Shows the window and runs the event loop; returns only when the loop
// ends.
void show_and_run(window_handle window, show_mode mode);
// Set when the platform knows, without asking its window system, that an
// event waits (on POSIX: a signal came); the pump then runs at the next
// line, not at the next tick of its clock. Never set on Windows, whose
// queue is known only by asking.
extern volatile std::sig_atomic_t event_signalled;
// Takes and dispatches every pending event; returns at once when none is
// pending, and never waits.
void pump_pending_events();
// Shows a box and waits for it; the button pressed, ID_NONE when no box
// could be shown.
int message_box(window_handle owner, const std::string& caption,
                const std::string& text, unsigned style);
void request_foreground(window_handle window);
// The closing line of a run. On a terminal the status display gives way to
// it on standard error (standard output stays the scripts'); the window
// shows it in an information box when boxed is set.
void show_closing_line(window_handle owner, const std::string& caption,
                       const std::string& line, bool boxed);
// Puts the screen back as it was before the window (called before the end).
void close_window();

}  // namespace qp

#endif  // QUILLPACK_WINDOW_PLATFORM_H_
