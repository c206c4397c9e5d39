// The line ends written before the first message appended to a target,
// from the bytes it ends with.
#include <gtest/gtest.h>

#include <string>

#include "pack/target.h"

namespace qp {
namespace {

struct tail_case {
  std::string tail;
  bool empty_line;
  bool lf;
  int needed;
};

const tail_case tail_cases[] = {
    // Without the empty line: a line end only after a last byte that is
    // no line feed (a lone CR included), as ever.
    {"", false, false, 0},
    {"x\r\n", false, false, 0},
    {"x\n", false, false, 0},
    {"x", false, false, 1},
    {"x\r", false, false, 1},
    {"x", false, true, 1},
    {"x\n", false, true, 0},
    // With it: as many as make the last line an empty one.
    {"", true, false, 0},
    {"x", true, false, 2},
    {"x\r\n", true, false, 1},
    {"x\n", true, false, 1},
    {"x\r\n\r\n", true, false, 0},
    {"x\n\n", true, false, 0},
    {"x\n\r\n", true, false, 0},
    // A lone CR ends no line for readers that split at line feeds: it gets
    // its line end first, and the line it ends is not an empty one.
    {"x\r", true, false, 2},
    {"x\r\r", true, false, 2},
    {"x\r\n\r", true, false, 2},
    {"x\n\r", true, false, 2},
    {"x\r\n\r", false, false, 1},
    {"x\r\n\r", true, true, 1},
    {"x\r\r", true, true, 2},
    {"x", true, true, 2},
    {"x\n", true, true, 1},
    {"x\r\n", true, true, 1},
    {"x\r", true, true, 2},  // CR and LF would make one line end
    {"x\n\n", true, true, 0},
    {"\r\n\r\n", true, true, 0},
};

TEST(target_tail, line_ends_before_the_first_new_message) {
  for (const tail_case& c : tail_cases) {
    EXPECT_EQ(line_ends_needed(c.tail, c.empty_line, c.lf), c.needed)
        << "tail of " << c.tail.size() << " bytes, empty line " << c.empty_line
        << ", LF " << c.lf;
  }
}

}  // namespace
}  // namespace qp
