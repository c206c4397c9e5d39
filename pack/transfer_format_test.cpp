// The transfer under the ways of writing an mbox file: LF line ends, the
// empty line after a message, mboxrd quoting, composed separator lines,
// and the count of unquoted separator lines, each with the reader's buffer
// large and tiny (lines then arrive in pieces).
#include <gtest/gtest.h>

#include <string>

#include "pack/locked_file.h"
#include "pack/separator.h"
#include "pack/transfer.h"
#include "tests/support/scratch.h"
#include "window/events.h"

namespace qp {
namespace {

const std::string head =
    "Date: Wed, 3 Jan 1996 01:05:34 +0100\nFrom: <a@b>\n\n";
const std::string fixed(fallback_from_line);
const std::string composed = "From a@b Wed Jan  3 00:05:34 1996\n";

struct format_case {
  const char* title;
  std::string source;
  transfer_options options;
  bool lf;
  std::string expected;  // with LF line ends; CR LF unless lf
  int64_t unprotected;
};

transfer_options make(quoting_mode mode, bool mboxrd, bool header = false,
                      bool empty_line = false, const char* begin = "",
                      const char* end = "") {
  transfer_options o;
  o.mode = mode;
  o.mboxrd = mboxrd;
  o.header_separator = header;
  o.empty_line_between = empty_line;
  o.donotchange_begin = begin;
  o.donotchange_end = end;
  return o;
}

std::string with_crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += '\r';
    }
    out += c;
  }
  return out;
}

const std::string body =
    "From a\n>From b\n>>From c\nFrom: d\n From e\nFrom\n>From\n";

const format_case format_cases[] = {
    {"mboxrd quotes every >*From line", head + body, make(FROM_ALL, true),
     false,
     fixed + head +
         ">From a\n>>From b\n>>>From c\nFrom: d\n From e\nFrom\n>From\n",
     0},
    {"space quotes separator lines only", head + body, make(FROM_ALL, false),
     false, fixed + head + " From a\n" + body.substr(7), 0},
    {"mboxrd keeps do-not-change regions, their separator lines counted",
     head + "<pre>\nFrom a\n>From b\n</pre>\n>From c\n",
     make(FROM_GUARDED, true, false, false, "<pre>", "</pre>"), false,
     fixed + head + "<pre>\nFrom a\n>From b\n</pre>\n>>From c\n", 1},
    {"mboxrd quotes a last line without a line end", head + ">From the end",
     make(FROM_ALL, true), false, fixed + head + ">>From the end\n", 0},
    {"unquoted separator lines are counted", head + body,
     make(FROM_KEEP, false), false, fixed + head + body, 1},
    {"with mboxrd chosen too", head + "From a\nFrom b\n>From c\n",
     make(FROM_KEEP, true), false, fixed + head + "From a\nFrom b\n>From c\n",
     2},
    {"and in a message with its own separator line",
     "From x Mon Jan  1 00:00:00 2001\n" + head + "From a\n",
     make(FROM_ALL, true), false,
     "From x Mon Jan  1 00:00:00 2001\n" + head + "From a\n", 1},
    {"LF line ends", head + "a\r\nb\rc", make(FROM_KEEP, false), true,
     fixed + head + "a\nb\nc\n", 0},
    {"an empty line after the message", head + "a",
     make(FROM_KEEP, false, false, true), false, fixed + head + "a\n\n", 0},
    {"even after an empty last line", head + "a\n\n",
     make(FROM_KEEP, false, false, true), true, fixed + head + "a\n\n\n", 0},
    {"a composed separator line", head + "a\n", make(FROM_KEEP, false, true),
     true, composed + head + "a\n", 0},
    {"an own separator line stays", "From x Mon Jan  1 00:00:00 2001\n" + head,
     make(FROM_KEEP, false, true), false,
     "From x Mon Jan  1 00:00:00 2001\n" + head, 0},
    {"everything at once", head + "From a\nb", make(FROM_ALL, true, true, true),
     true, composed + head + ">From a\nb\n\n", 0},
};

class transfer_format_test : public ::testing::TestWithParam<size_t> {
 protected:
  void TearDown() override {
    set_reader_buffer_size(256 * 1024);
  }
};

TEST_P(transfer_format_test, bytes_count_and_note) {
  set_reader_buffer_size(GetParam());
  for (const format_case& c : format_cases) {
    keep_running = true;
    testing_support::scratch_dir dir;
    std::string source = dir.write("m.eml", c.source);
    std::string target_path = dir.path() + "t.mbx";
    locked_file* target = open_locked(target_path, LOCKED_CREATE);
    ASSERT_NE(target, nullptr);
    set_lf_line_ends(target, c.lf);
    transfer_notes notes;
    int64_t result = transfer_message(source, target, c.options, &notes);
    ASSERT_TRUE(close_locked(target));
    std::string written = testing_support::read_file(target_path);
    std::string expected = c.lf ? c.expected : with_crlf(c.expected);
    EXPECT_EQ(written, expected) << c.title;
    EXPECT_EQ(result, static_cast<int64_t>(written.size())) << c.title;
    EXPECT_EQ(notes.unprotected_lines, c.unprotected) << c.title;
  }
}

INSTANTIATE_TEST_SUITE_P(buffers, transfer_format_test,
                         ::testing::Values(size_t{256 * 1024}, size_t{2},
                                           size_t{3}, size_t{7}));

}  // namespace
}  // namespace qp
