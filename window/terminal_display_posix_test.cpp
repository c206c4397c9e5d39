#include "window/terminal_display.h"

#include <gtest/gtest.h>

#include "window/platform.h"

namespace qp {
namespace {

// The window's controls made in another order than the progress window's,
// with labels of no role among them: the terminal shows the same lines.
TEST(terminal_display, lines_follow_the_roles_not_the_order_of_creation) {
  window_handle window = create_main_window("quillpack", 0, 0, 10, 10);
  create_control(window, CONTROL_STATIC, ROLE_OTHER, "extra", 0, 0, 1, 1);
  window_handle percent = create_control(window, CONTROL_STATIC_RIGHT,
                                         ROLE_PERCENT, "0 %", 0, 0, 1, 1);
  create_control(window, CONTROL_DEFAULT_BUTTON, ROLE_CANCEL, "Cancel", 0, 0, 1,
                 1);
  window_handle to =
      create_control(window, CONTROL_STATIC, ROLE_TO, "", 0, 0, 1, 1);
  create_control(window, CONTROL_STATIC, ROLE_TO_CAPTION, "TO:", 0, 0, 1, 1);
  create_control(window, CONTROL_STATIC, ROLE_OTHER, "another", 0, 0, 1, 1);
  window_handle bar =
      create_control(window, CONTROL_PROGRESS, ROLE_BAR, "", 0, 0, 1, 1);
  window_handle from =
      create_control(window, CONTROL_STATIC, ROLE_FROM, "", 0, 0, 1, 1);
  create_control(window, CONTROL_STATIC, ROLE_FROM_CAPTION, "FROM:", 0, 0, 1,
                 1);
  create_control(window, CONTROL_STATIC, ROLE_HEADING, "Copy", 0, 0, 1, 1);

  set_text(from, "src/inbox");
  set_text(to, "out/inbox.mbx");
  set_progress_position(bar, 50);
  set_text(percent, "50 %");

  std::vector<std::string> lines = terminal_display_lines(40);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Copy");
  EXPECT_EQ(lines[1], "FROM: src/inbox");
  EXPECT_EQ(lines[2], "TO:   out/inbox.mbx");
  EXPECT_EQ(lines[3],
            "[" + std::string(14, '#') + std::string(14, '.') + "]  50 %");
}

}  // namespace
}  // namespace qp
