#include "pack/source_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/listings.h"
#include "tests/support/scratch.h"

namespace qp {
namespace {

using testing_support::all_lines;
using testing_support::scratch_dir;

class source_reader_test : public ::testing::Test {
 protected:
  void TearDown() override {
    set_reader_buffer_size(256 * 1024);
  }
};

// Each open source has its own place and buffer, however they interleave.
TEST_F(source_reader_test, sources_open_together_keep_their_own_place) {
  for (size_t buffer : {size_t{4}, size_t{256 * 1024}}) {
    set_reader_buffer_size(buffer);
    scratch_dir dir;
    source_file* a = open_source(dir.write("a", "a1\na2 long line\r\na3"));
    source_file* b = open_source(dir.write("b", "b1 long line\rb2\n"));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    std::string line;
    ASSERT_TRUE(read_line(a, line));
    EXPECT_EQ(line, "a1\n");
    ASSERT_TRUE(read_line(b, line));
    EXPECT_EQ(line, "b1 long line\n");
    ASSERT_TRUE(read_line(a, line));
    EXPECT_EQ(line, "a2 long line\n");
    close_source(a);
    // A source opened after one closed reads from its start.
    source_file* c = open_source(dir.write("c", "c1\n"));
    EXPECT_EQ(all_lines(c), (std::vector<std::string>{"c1\n"}));
    EXPECT_EQ(all_lines(b), (std::vector<std::string>{"b2\n"}));
    close_source(c);
    close_source(b);
  }
}

// Reading a long line ahead sees the rest of it, up to its line end or to
// where the reader said stop, and leaves the reader's place unchanged.
TEST_F(source_reader_test, reading_ahead_leaves_the_place_unchanged) {
  const std::string line = "0123456789abcdefghij";
  for (const std::string end : {"\n", "\r\n", "\r", ""}) {
    for (size_t stop_after : {size_t{1}, size_t{100}}) {
      set_reader_buffer_size(8);
      scratch_dir dir;
      source_file* source = open_source(
          dir.write("s", line + end + (end.empty() ? "" : "next\n")));
      ASSERT_NE(source, nullptr);
      line_piece piece;
      ASSERT_TRUE(read_piece(source, piece));
      ASSERT_FALSE(piece.complete);
      std::string first(piece.content);
      std::string ahead;
      size_t spans = 0;
      bool ended = read_line_ahead(source, [&](std::string_view span) {
        ahead.append(span);
        return ++spans < stop_after;
      });
      if (stop_after > 1) {
        EXPECT_EQ(first + ahead, line) << end;
        EXPECT_EQ(ended, !end.empty()) << end;
      } else {
        EXPECT_EQ(spans, 1u);
      }
      std::vector<std::string> rest = all_lines(source);
      ASSERT_FALSE(rest.empty());
      EXPECT_EQ(first + rest[0], line + (end.empty() ? "" : "\n")) << end;
      close_source(source);
    }
  }
}

// A plain run takes whole lines with the wanted line end up to the first
// line that begins with a special byte or ends otherwise; that line is
// then read as usual. The run starts after a line read first, which fills
// the buffer.
TEST_F(source_reader_test, plain_runs_stop_before_lines_that_change) {
  struct row {
    const char* source;
    bool lf;
    const char* run;
    const char* next_line;
  };
  const row rows[] = {
      {"a\r\nb\r\n\r\nFrom x\r\n", false, "a\r\nb\r\n\r\n", "From x\n"},
      {"a\r\n>b\r\n", false, "a\r\n", ">b\n"},
      {"a\r\nb\nc\r\n", false, "a\r\n", "b\n"},
      {"a\r\nb\rc\r\n", false, "a\r\n", "b\n"},
      {"a\r\nb", false, "a\r\n", "b"},
      {"a\nb\n\nc\r\n", true, "a\nb\n\n", "c\n"},
      {"a\nb\rc\n", true, "a\n", "b\n"},
      {"Fa\n", true, "", "Fa\n"},
  };
  for (const row& r : rows) {
    scratch_dir dir;
    source_file* source =
        open_source(dir.write("s", std::string("h\n") + r.source));
    ASSERT_NE(source, nullptr);
    std::string line;
    ASSERT_TRUE(read_line(source, line));
    EXPECT_EQ(std::string(read_plain_run(source, r.lf, "F>")), r.run)
        << r.source;
    EXPECT_TRUE(read_line(source, line));
    EXPECT_EQ(line, r.next_line) << r.source;
    close_source(source);
  }
}

// Plain lines of exactly size bytes (none when size is 0).
std::string plain_lines(size_t size, const std::string& end) {
  std::string lines;
  while (size - lines.size() >= 80) {
    lines += std::string(40 - end.size(), 'x') + end;
  }
  size_t rest = size - lines.size();
  if (rest > 0) {
    lines += std::string(rest - end.size(), 'x') + end;
  }
  return lines;
}

// Long runs are tested a block of bytes at a time: a line that is not
// plain ends the run wherever it falls, on either side of a block's edge.
TEST_F(source_reader_test, plain_runs_stop_at_the_same_line_across_blocks) {
  struct row {
    bool lf;
    const char* not_plain;  // the line that ends the run, "" for none
    const char* special = "F>";
  };
  const row rows[] = {
      {false, "From x\r\n"},
      {false, ">b\r\n"},
      {false, "b\nc\r\n"},
      {false, "b\rc\r\n"},
      {false, "b\r\r\n"},
      {false, "\n"},
      {false, ""},
      {true, "From x\n"},
      {true, ">b\n"},
      {true, "b\rc\n"},
      {true, "b\r\n"},
      {true, ""},
      // The header's runs: an empty line, a line that may be a field.
      {false, "\r\n", "F\r\n"},
      {true, "\n", "F\r\n"},
      {false, "date: x\r\n", "DdFf\r\n"},
      {false, "", "DdFf\r\n"},
  };
  const size_t offsets[] = {0, 2, 61, 62, 63, 64, 65, 66, 126, 127, 128, 191};
  for (bool wide : {false, true}) {
    set_wide_block_test(wide);
    for (const row& r : rows) {
      std::string end = r.lf ? "\n" : "\r\n";
      for (size_t offset : offsets) {
        std::string run = plain_lines(offset, end);
        if (run == end &&
            std::string(r.special).find('\n') != std::string::npos) {
          continue;  // an empty line, which these runs stop at
        }
        std::string after = r.not_plain + plain_lines(200, end) + "tail";
        scratch_dir dir;
        source_file* source = open_source(dir.write("s", "h\n" + run + after));
        ASSERT_NE(source, nullptr);
        std::string line;
        ASSERT_TRUE(read_line(source, line));
        std::string expected = *r.not_plain ? run : run + plain_lines(200, end);
        EXPECT_EQ(std::string(read_plain_run(source, r.lf, r.special)),
                  expected)
            << r.not_plain << " at " << offset << (wide ? " wide" : "");
        close_source(source);
      }
    }
  }
  set_wide_block_test(true);
}

}  // namespace
}  // namespace qp
