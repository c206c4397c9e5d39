#include "pack/separator.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace qp {
namespace {

struct from_case {
  const char* line;
  bool expected;
};

TEST(separator, from_line_rules) {
  const from_case cases[] = {
      {"From someone Mon Jan 01 00:00:00 2001\n", true},
      {"From \n", true},
      {"From  \t x\n", true},
      {"From\n", false},
      {"From: a\n", false},
      {"From : a\n", false},
      {"From \t: a\n", false},
      {"From\t: a\n", false},
      {"from x\n", false},
      {" From x\n", false},
      {">From x\n", false},
      {"From x", false},  // the last line of a file without a line end
      {"", false},
  };
  for (const from_case& c : cases) {
    EXPECT_EQ(is_from_line(c.line), c.expected) << c.line;
  }
}

TEST(separator, header_colon_and_kind) {
  EXPECT_EQ(header_colon("Subject: x\n"), 8);
  EXPECT_EQ(header_colon("Subject : x\n"), 9);
  EXPECT_EQ(header_colon("Subject\t: x\n"), 9);
  EXPECT_EQ(header_colon(": x\n"), 0);
  EXPECT_EQ(header_colon("Two words: x\n"), 0);
  EXPECT_EQ(header_colon("Caf\xe9: x\n"), 0);
  EXPECT_EQ(header_colon(" Subject: x\n"), 0);
  EXPECT_EQ(header_colon("no colon at all\n"), 0);
  EXPECT_EQ(header_colon("X:"), 2);

  EXPECT_EQ(header_kind("Date: x\n"), 1);
  EXPECT_EQ(header_kind("DATE : x\n"), 1);
  EXPECT_EQ(header_kind("Dated: x\n"), 1);
  EXPECT_EQ(header_kind("Date-Received: x\n"), 1);
  EXPECT_EQ(header_kind("From: x\n"), 2);
  EXPECT_EQ(header_kind("FROM : x\n"), 2);
  EXPECT_EQ(header_kind("From-Agent: x\n"), 2);
  EXPECT_EQ(header_kind("Fro: x\n"), 0);
  EXPECT_EQ(header_kind("To: x\n"), 0);
  EXPECT_EQ(header_kind("Date x\n"), 0);
}

TEST(separator, fallback_line_is_a_separator) {
  EXPECT_TRUE(is_from_line(fallback_from_line));
  EXPECT_EQ(fallback_from_line.substr(fallback_from_line.size() - 26),
            " Sat Jan 01 12:00:00 2000\n");
}

// The piecewise scans must agree with the whole-line tests wherever a
// long line is cut.
TEST(separator, scans_agree_with_whole_line_tests) {
  std::mt19937 random(7);
  const std::string alphabet =
      "From :\t\n\x01\xff"
      "abDate-";
  for (int round = 0; round < 20000; ++round) {
    std::string line;
    if (random() % 2) {
      line = random() % 2 ? "From " : "Date";
    }
    size_t extra = random() % 12;
    for (size_t i = 0; i < extra; ++i) {
      line.push_back(alphabet[random() % alphabet.size()]);
    }
    size_t nl = line.find('\n');
    if (nl != std::string::npos) {
      line.resize(nl + 1);
    }
    bool has_lf = !line.empty() && line.back() == '\n';
    std::string content = has_lf ? line.substr(0, line.size() - 1) : line;
    size_t cut = content.empty() ? 0 : random() % (content.size() + 1);

    from_line_scan from;
    from.feed(std::string_view(content).substr(0, cut));
    from.feed(std::string_view(content).substr(cut));
    EXPECT_EQ(from.finish(has_lf), is_from_line(line)) << line;

    header_colon_scan colon;
    colon.feed(std::string_view(content).substr(0, cut));
    colon.feed(std::string_view(content).substr(cut));
    EXPECT_EQ(colon.result(), header_colon(line)) << line;
    EXPECT_EQ(header_kind_of(colon.result(), colon.head()), header_kind(line))
        << line;
  }
}

}  // namespace
}  // namespace qp
