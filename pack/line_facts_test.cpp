#include "pack/line_facts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/scratch.h"

namespace qp {
namespace {

using testing_support::scratch_dir;

// The facts of the first line of a source read through a buffer of the
// given size, so that a short one and a long one take both paths.
line_facts first_line_facts(const std::string& bytes, size_t buffer) {
  set_reader_buffer_size(buffer);
  scratch_dir dir;
  source_file* source = open_source(dir.write("s", bytes));
  line_facts facts;
  EXPECT_TRUE(read_line_facts(source, facts, nullptr));
  close_source(source);
  set_reader_buffer_size(256 * 1024);
  return facts;
}

// The one separator rule, wherever it is asked: a whole line, a line's
// content, a line read in one piece or in many.
TEST(line_facts, one_separator_rule) {
  struct {
    const char* content;
    bool has_line_end;
    bool is_from;
  } cases[] = {
      {"From someone", true, true},      {"From ", true, true},
      {"From  \t ", true, true},         {"From  \t x", true, true},
      {"From someone", false, false},    {"From: someone", true, false},
      {"From \t: someone", true, false}, {"From", true, false},
      {"from someone", true, false},     {" From someone", true, false},
      {">From someone", true, false},    {"", true, false},
  };
  for (const auto& c : cases) {
    std::string content = c.content;
    std::string line = content + (c.has_line_end ? "\n" : "");
    EXPECT_EQ(is_from_content(content, c.has_line_end), c.is_from) << line;
    EXPECT_EQ(is_from_line(line), c.is_from) << line;
    for (size_t buffer : {size_t{2}, size_t{3}, size_t{256 * 1024}}) {
      std::string more = c.has_line_end ? "x\n" : "";
      EXPECT_EQ(first_line_facts(line + more, buffer).is_from, c.is_from)
          << line << " " << buffer;
    }
  }
}

TEST(line_facts, header_field_kinds) {
  struct {
    const char* line;
    field_kind kind;
  } cases[] = {
      {"Date: x", DATE_FIELD},     {"DATE:x", DATE_FIELD},
      {"date \t: x", DATE_FIELD},  {"From: a", FROM_FIELD},
      {"fRoM:", FROM_FIELD},       {"Dated: x", DATE_FIELD},
      {"Dat: x", OTHER_FIELD},     {"X-Date: x", OTHER_FIELD},
      {"Date x: y", OTHER_FIELD},  {"From a", OTHER_FIELD},
      {"Subject: x", OTHER_FIELD},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(header_kind(c.line), c.kind) << c.line;
    for (size_t buffer : {size_t{2}, size_t{256 * 1024}}) {
      EXPECT_EQ(first_line_facts(std::string(c.line) + "\n", buffer).kind,
                c.kind)
          << c.line << " " << buffer;
    }
  }
}

TEST(line_facts, long_lines_read_ahead_for_quoting) {
  struct {
    std::string line;
    bool from;
    bool mboxrd;
  } cases[] = {
      {"From " + std::string(40, 'x') + "\n", true, true},
      {">>From " + std::string(40, 'x') + "\n", false, true},
      {"From" + std::string(40, ' ') + ":\n", false, true},
      {"From" + std::string(40, ' ') + "\n", true, true},
      {std::string(40, '>') + "Fro\n", false, false},
  };
  for (const auto& c : cases) {
    set_reader_buffer_size(8);
    scratch_dir dir;
    source_file* source = open_source(dir.write("s", c.line + "next\n"));
    line_piece piece;
    ASSERT_TRUE(read_piece(source, piece));
    ASSERT_FALSE(piece.complete) << c.line;
    EXPECT_EQ(long_line_is_from(source, piece.content), c.from) << c.line;
    EXPECT_EQ(long_line_is_mboxrd(source, piece.content), c.mboxrd) << c.line;
    close_source(source);
    set_reader_buffer_size(256 * 1024);
  }
}

}  // namespace
}  // namespace qp
