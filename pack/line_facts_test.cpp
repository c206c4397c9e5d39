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
  EXPECT_TRUE(read_line_facts(source, facts));
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

// Gathers what a header scan shows its observer.
struct line_gatherer final : header_observer {
  std::vector<std::string> lines;
  std::string line;
  std::vector<bool> from;
  void feed(std::string_view piece) override {
    line.append(piece);
  }
  void end_line(const line_facts& facts) override {
    lines.push_back(line);
    from.push_back(facts.is_written_from);
    line.clear();
  }
};

// The one header scan shows its observer every line of the block whole,
// however the buffer cuts it, separator lines and the closing empty line
// included; the reader stops after that line. With a byte limit it stops
// early and says so.
TEST(line_facts, header_scan_shows_each_line_whole) {
  const std::string header = "Date: x\n continued " + std::string(30, 'c') +
                             "\nFrom " + std::string(30, 'f') +
                             "\nFrom: y\n\nbody\n";
  for (size_t buffer : {size_t{4}, size_t{256 * 1024}}) {
    set_reader_buffer_size(buffer);
    scratch_dir dir;
    source_file* source = open_source(dir.write("s", header));
    line_gatherer seen;
    header_scan_options options;
    options.observer = &seen;
    header_scan scan = scan_header(source, options);
    std::string next;
    ASSERT_TRUE(read_line(source, next));
    EXPECT_EQ(next, "body\n");
    EXPECT_EQ(seen.lines, (std::vector<std::string>{
                              "Date: x", " continued " + std::string(30, 'c'),
                              "From " + std::string(30, 'f'), "From: y", ""}))
        << buffer;
    EXPECT_EQ(seen.from, (std::vector<bool>{false, false, true, false, false}));
    EXPECT_TRUE(scan.ended);
    EXPECT_FALSE(scan.cut_short);
    EXPECT_TRUE(looks_like_message(scan.indicators));

    rewind_source(source);
    line_gatherer limited;
    options.observer = &limited;
    options.byte_limit = 20;
    scan = scan_header(source, options);
    EXPECT_TRUE(scan.cut_short) << buffer;
    EXPECT_FALSE(scan.ended);
    EXPECT_EQ(limited.lines.size(), 2u) << buffer;
    EXPECT_EQ(scan.indicators.kinds_seen, DATE_FIELD);
    close_source(source);
  }
  set_reader_buffer_size(256 * 1024);
}

}  // namespace
}  // namespace qp
