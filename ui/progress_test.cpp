#include "ui/progress.h"

#include <gtest/gtest.h>

namespace qp {
namespace {

TEST(progress, shown_percent_is_the_ceiling_up_to_100) {
  EXPECT_EQ(shown_percent(0), 0);
  EXPECT_EQ(shown_percent(0.01), 1);
  EXPECT_EQ(shown_percent(6.2), 7);
  EXPECT_EQ(shown_percent(99.0000001), 100);
  EXPECT_EQ(shown_percent(100.3), 100);
  EXPECT_EQ(shown_percent(250), 100);
}

TEST(progress, cancel_after_a_confirmed_stop_asks_nothing_and_stops_at_once) {
  keep_running = false;
  stop_at_once = false;
  handler_CANCEL(0, EVENT_KEYDOWN, 'A', 0);
  EXPECT_FALSE(stop_at_once);
  handler_CANCEL(0, EVENT_COMMAND, 0, 0);
  EXPECT_TRUE(stop_at_once);
  keep_running = true;
  stop_at_once = false;
}

// A stop from outside (SIGTERM, a closed terminal) asks nothing: the first
// ends the run after the message in hand, a second gives that message up.
TEST(progress, a_stop_event_stops_and_a_second_one_stops_at_once) {
  reset_stop_flags();
  handler_WIN(0, EVENT_STOP, 0, 0);
  EXPECT_FALSE(keep_running);
  EXPECT_FALSE(stop_at_once);
  handler_WIN(0, EVENT_STOP, 0, 0);
  EXPECT_TRUE(stop_at_once);
  reset_stop_flags();
  EXPECT_TRUE(keep_running);
  EXPECT_FALSE(stop_at_once);
}

TEST(progress, iconic_title_format) {
  EXPECT_EQ(iconic_title(0), "  0 % - quillpack");
  EXPECT_EQ(iconic_title(7), "  7 % - quillpack");
  EXPECT_EQ(iconic_title(100), "100 % - quillpack");
}

}  // namespace
}  // namespace qp
