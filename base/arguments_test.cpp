#include "base/arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qp {
namespace {

using args = std::vector<std::string>;

TEST(split_arguments, separators_quotes_and_empty_arguments) {
  struct row {
    const char* text;
    args expected;
  };
  const row rows[] = {
      {"", {}},
      {"   \t\n ", {}},
      {"a b", {"a", "b"}},
      {"a \t\n  b", {"a", "b"}},
      {"\"c:\\my mail\\*.eml\" d:\\out", {"c:\\my mail\\*.eml", "d:\\out"}},
      {"\"\" x", {"", "x"}},
      {"\"\"", {""}},
      {"\"ab\"cd", {"ab", "cd"}},
      {"\"ab\"\"cd\"", {"ab", "cd"}},
      {"ab\"cd ef", {"ab\"cd", "ef"}},
      {"\"open to the end", {"open to the end"}},
      {"\"a\" \"\" \"b\"", {"a", "", "b"}},
      {"x\"", {"x\""}},
  };
  for (const row& r : rows) {
    EXPECT_EQ(split_arguments(r.text), r.expected) << r.text;
  }
}

TEST(split_command_line, skips_the_programs_own_name) {
  EXPECT_EQ(split_command_line("quillpack.exe a b"), (args{"a", "b"}));
  EXPECT_EQ(split_command_line("\"C:\\Program Files\\qp\\quillpack.exe\" a"),
            (args{"a"}));
  EXPECT_EQ(split_command_line("\"C:\\qp\\quillpack.exe\"a b"),
            (args{"a", "b"}));
  EXPECT_EQ(split_command_line(""), (args{}));
}

}  // namespace
}  // namespace qp
