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

TEST(progress, iconic_title_format) {
  EXPECT_EQ(iconic_title(0), "  0 % - quillpack");
  EXPECT_EQ(iconic_title(7), "  7 % - quillpack");
  EXPECT_EQ(iconic_title(100), "100 % - quillpack");
}

}  // namespace
}  // namespace qp
