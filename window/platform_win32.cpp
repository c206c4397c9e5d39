// The windowing layer on Windows: one top-level window class, child
// controls of the system classes, handlers attached to the window and to
// subclassed controls, the message loop and the message boxes. Every window
// is a wide one, so that texts show names in any script.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "base/process.h"
#include "base/wide_win32.h"
#include "window/platform.h"

namespace qp {

// The queue is known only by asking the system: the pump goes by its clock.
volatile std::sig_atomic_t event_signalled = 0;

namespace {

const char* const window_class_name = "quillpack_window";
const wchar_t* const window_class_wide = L"quillpack_window";

struct attached {
  HWND window;
  event_handler handler;
  WNDPROC original;  // the control's own procedure; null for the main window
};

static_assert(KEY_ENTER == VK_RETURN, "key codes are the system's");

std::vector<attached> handlers;
bool class_registered = false;
std::string registration_fault;
bool size_delivered = false;  // the main handler has seen a size event
event_handler windowless_handler = nullptr;

HWND hwnd_of(window_handle window) {
  return reinterpret_cast<HWND>(window);
}

window_handle handle_of(HWND window) {
  return reinterpret_cast<window_handle>(window);
}

attached* find_attached(HWND window) {
  for (attached& a : handlers) {
    if (a.window == window) {
      return &a;
    }
  }
  return nullptr;
}

// The event a system message is to the handlers; 0 for one they never see.
unsigned event_of(UINT message) {
  switch (message) {
  case WM_SIZE:
    return EVENT_SIZE;
  case WM_SETFOCUS:
    return EVENT_SETFOCUS;
  case WM_KEYDOWN:
    return EVENT_KEYDOWN;
  case WM_COMMAND:
    return EVENT_COMMAND;
  default:
    return 0;
  }
}

std::uintptr_t size_code_of(WPARAM wparam) {
  return wparam == SIZE_MINIMIZED ? SIZE_MINIMIZED_CODE : SIZE_RESTORED_CODE;
}

void call_handler(const attached& a, UINT message, WPARAM wparam,
                  LPARAM lparam) {
  const unsigned event = event_of(message);
  if (!a.handler || event == 0) {
    return;
  }
  if (event == EVENT_SIZE) {
    wparam = size_code_of(wparam);
  }
  a.handler(handle_of(a.window), event, wparam, lparam);
}

UINT box_style_of(unsigned style) {
  UINT buttons = (style & MB_BUTTONS_MASK) == MB_YESNO_STYLE ? MB_YESNO : MB_OK;
  switch (style & MB_ICON_MASK) {
  case MB_ICONHAND_STYLE:
    return buttons | MB_ICONHAND;
  case MB_ICONQUESTION_STYLE:
    return buttons | MB_ICONQUESTION;
  case MB_ICONEXCLAMATION_STYLE:
    return buttons | MB_ICONEXCLAMATION;
  case MB_ICONINFORMATION_STYLE:
    return buttons | MB_ICONINFORMATION;
  default:
    return buttons;
  }
}

int box_result_of(int pressed) {
  switch (pressed) {
  case IDOK:
    return ID_OK;
  case IDYES:
    return ID_YES;
  case IDNO:
    return ID_NO;
  default:
    return ID_NONE;
  }
}

bool is_close_request(UINT message, WPARAM wparam) {
  return message == WM_CLOSE ||
         (message == WM_SYSCOMMAND && (wparam & 0xFFF0) == SC_CLOSE);
}

// The main window cannot be closed; a button's command goes to the
// button's own handler, everything else to the window's.
LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam,
                                  LPARAM lparam) {
  if (is_close_request(message, wparam)) {
    return 0;
  }
  if (message == WM_COMMAND && lparam != 0) {
    if (attached* control = find_attached(reinterpret_cast<HWND>(lparam))) {
      call_handler(*control, message, wparam, lparam);
      return 0;
    }
  }
  if (attached* a = find_attached(window)) {
    if (message == WM_SIZE) {
      size_delivered = true;
    }
    call_handler(*a, message, wparam, lparam);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// Subclassed controls see their own key presses (Enter on a button, which
// the button itself ignores).
LRESULT CALLBACK control_procedure(HWND window, UINT message, WPARAM wparam,
                                   LPARAM lparam) {
  attached* a = find_attached(window);
  if (!a) {
    return DefWindowProcW(window, message, wparam, lparam);
  }
  WNDPROC original = a->original;
  call_handler(*a, message, wparam, lparam);
  return CallWindowProcW(original, window, message, wparam, lparam);
}

bool register_window_class() {
  if (class_registered) {
    return true;
  }
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = window_procedure;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = window_class_wide;
  if (!RegisterClassExW(&wc)) {
    registration_fault = std::string("Registration of new window class: ") +
                         window_class_name + " failed.\n\nProgram aborting.";
    return false;
  }
  class_registered = true;
  return true;
}

struct control_class {
  const wchar_t* name;
  DWORD style;
};

control_class class_of(control_kind kind) {
  switch (kind) {
  case CONTROL_STATIC_RIGHT:
    return {L"static", SS_RIGHT};
  case CONTROL_PROGRESS:
    return {PROGRESS_CLASSW, PBS_SMOOTH};
  case CONTROL_DEFAULT_BUTTON:
    return {L"button", WS_TABSTOP | BS_DEFPUSHBUTTON};
  case CONTROL_STATIC:
    break;
  }
  return {L"static", SS_LEFT};
}

// Floor division, so that a window larger than the screen still centres
// by rounding down.
int half_down(int value) {
  return value >= 0 ? value / 2 : -((-value + 1) / 2);
}

}  // namespace

void prepare_events() {
  // The window's own message queue holds every event; nothing comes before.
}

window_handle create_main_window(const std::string& caption, int x, int y,
                                 int width, int height) {
  if (!register_window_class()) {
    return 0;
  }
  // A top-level window gets its title bar from the system.
  HWND window =
      CreateWindowExW(0, window_class_wide, wide(caption).c_str(),
                      WS_SYSMENU | WS_MINIMIZEBOX, x, y, width, height, nullptr,
                      nullptr, GetModuleHandleW(nullptr), nullptr);
  return handle_of(window);
}

std::string window_fault() {
  return registration_fault;
}

window_handle create_control(window_handle parent, control_kind kind,
                             control_role /*role*/, const std::string& text,
                             int x, int y, int width, int height) {
  if (parent == 0) {
    return 0;  // no window to put it in: a windowless run
  }
  static bool common_controls = false;
  if (!common_controls) {
    InitCommonControls();  // the progress bar's class
    common_controls = true;
  }
  const control_class c = class_of(kind);
  HWND control = CreateWindowExW(0, c.name, wide(text).c_str(),
                                 WS_CHILD | WS_VISIBLE | c.style, x, y, width,
                                 height, hwnd_of(parent), nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
  if (!control) {
    message_box(0, "Warning", "creation of control '" + text + "' has failed.",
                MB_ICONHAND_STYLE | MB_OK_STYLE);
    return 0;
  }
  SendMessageW(control, WM_SETFONT,
               reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
               FALSE);
  return handle_of(control);
}

void set_window_icon(window_handle window, const std::string& exe_path) {
  HICON icon =
      ExtractIconW(GetModuleHandleW(nullptr), wide(exe_path).c_str(), 0);
  // 1 means the file is no executable; null that it holds no icon.
  if (reinterpret_cast<uintptr_t>(icon) <= 1) {
    return;
  }
  SendMessageW(hwnd_of(window), WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(icon));
  SendMessageW(hwnd_of(window), WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(icon));
}

void centre_window(window_handle window, int lift) {
  RECT outer;
  if (!GetWindowRect(hwnd_of(window), &outer)) {
    return;
  }
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  const int x = half_down(GetSystemMetrics(SM_CXSCREEN) - width);
  const int y = half_down(GetSystemMetrics(SM_CYSCREEN) - height -
                          GetSystemMetrics(SM_CYCAPTION)) -
                lift;
  SetWindowPos(hwnd_of(window), nullptr, x, y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void remove_close_command(window_handle window) {
  HMENU menu = GetSystemMenu(hwnd_of(window), FALSE);
  if (!menu) {
    return;
  }
  const int count = GetMenuItemCount(menu);
  if (count >= 2) {
    DeleteMenu(menu, static_cast<UINT>(count - 1), MF_BYPOSITION);
    DeleteMenu(menu, static_cast<UINT>(count - 2), MF_BYPOSITION);
  }
  // Where the menu ends in entries of its own (Wine's), Close survives the
  // deletions: grey it, and the window refuses to close in any case.
  EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
}

void set_text(window_handle window, const std::string& text) {
  SetWindowTextW(hwnd_of(window), wide(text).c_str());
}

void set_progress_position(window_handle bar, int percent) {
  SendMessageW(hwnd_of(bar), PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

bool is_minimised(window_handle window) {
  return window != 0 && IsIconic(hwnd_of(window));
}

void set_focus(window_handle window) {
  if (window != 0) {
    SetFocus(hwnd_of(window));
  }
}

void attach_handler(window_handle window, event_handler handler) {
  HWND target = hwnd_of(window);
  if (!target) {
    windowless_handler = handler;  // the main window that could not be made
    return;
  }
  if (attached* a = find_attached(target)) {
    a->handler = handler;
    return;
  }
  attached a{target, handler, nullptr};
  if (GetClassLongPtrW(target, GCLP_WNDPROC) !=
      reinterpret_cast<ULONG_PTR>(window_procedure)) {
    a.original = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        target, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(control_procedure)));
  }
  handlers.push_back(a);
}

void show_and_run(window_handle window, show_mode mode) {
  HWND main = hwnd_of(window);
  if (!main) {
    // No window (no desktop to show it on): the run goes on without one,
    // started as the first size notification would start it.
    if (windowless_handler) {
      windowless_handler(
          0, EVENT_SIZE,
          mode == SHOW_MINIMISED ? SIZE_MINIMIZED_CODE : SIZE_RESTORED_CODE, 0);
    }
    return;
  }
  ShowWindow(main, mode == SHOW_MINIMISED ? SW_SHOWMINIMIZED : SW_RESTORE);
  // The first size notification comes with the first showing; should a
  // system have sent it before the handler was attached, send it now.
  if (!size_delivered) {
    SendMessageW(main, WM_SIZE, IsIconic(main) ? SIZE_MINIMIZED : SIZE_RESTORED,
                 0);
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void pump_pending_events() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The event loop's to end, not the pump's: left for it.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

int message_box(window_handle owner, const std::string& caption,
                const std::string& text, unsigned style) {
  HWND box_owner = owner != 0 ? hwnd_of(owner) : GetActiveWindow();
  return box_result_of(MessageBoxW(box_owner, wide(text).c_str(),
                                   wide(caption).c_str(), box_style_of(style)));
}

void request_foreground(window_handle window) {
  if (window != 0) {
    SetForegroundWindow(hwnd_of(window));
  }
}

void show_closing_line(window_handle owner, const std::string& caption,
                       const std::string& line, bool boxed) {
  if (boxed) {
    // The run may have ended behind other windows: the box comes to the
    // front, as a question does.
    request_foreground(owner);
    message_box(owner, caption, line, MB_ICONINFORMATION_STYLE | MB_OK_STYLE);
  }
}

// The window goes with the process.
void close_window() {}

}  // namespace qp
