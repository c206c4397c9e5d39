// Digests of messages: which sources are one message, and whether the old
// content of an mbox file, written with each way of writing one, gives
// back the digests of the sources packed into it.
#include "pack/message_digest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pack/locked_file.h"
#include "pack/result.h"
#include "pack/transfer.h"
#include "tests/support/scratch.h"
#include "window/events.h"

namespace qp {
namespace {

using testing_support::scratch_dir;

const std::string head =
    "Date: Wed, 3 Jan 1996 01:05:34 +0100\nFrom: <a@b>\nSubject: s\n\n";
const std::string body = "Hello\nFrom a\n>From b\n From c\n\nbye\n";

std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  }
  return out;
}

message_digest digest_file(const std::string& path) {
  message_source source = open_message_source(path);
  message_digest digest;
  EXPECT_EQ(digest_message(source, digest), 0) << path;
  close_message_source(source);
  return digest;
}

struct same_case {
  const char* title;
  std::string first;
  std::string second;
  bool same;
};

const same_case same_cases[] = {
    {"CR LF and LF", head + body, crlf(head + body), true},
    {"an own separator line", head + body,
     "From x@y Mon Jan  1 00:00:00 2001\n" + head + body, true},
    {"state fields, a continued one too", head + body,
     "X-Status: A\n  F\n" + head.substr(0, 37) +
         "Status: RO\nContent-Length: 9\nx-uid : 7\nX-Keywords: $a\n"
         "X-Mozilla-Status: 0001\nX-Mozilla-Status2: 0\n" +
         head.substr(37) + body,
     true},
    {"trailing empty lines", head + body, head + body + "\n\n", true},
    {"a last line without its line end", head + "x\n", head + "x", true},
    {"quoted forms of From lines", head + "From a\n", head + ">>From a\n",
     true},
    {"a blank before From", head + "From a\n", head + " From a\n", true},
    {"two blanks are content", head + "From a\n", head + "  From a\n", false},
    {"a > before another word is content", head + "x\n", head + ">x\n", false},
    {"another body", head + body, head + body + "more\n", false},
    {"an empty line inside the body counts", head + "a\nb\n", head + "a\n\nb\n",
     false},
    {"another header", head + body,
     "Date: Wed, 3 Jan 1996 01:05:34 +0100\nFrom: <a@c>\nSubject: s\n\n" + body,
     false},
    {"a header line moved into the body", head + "x\n",
     head.substr(0, 49) + "\nSubject: s\nx\n", false},
    {"Status as part of a longer name counts", "Statuses: 1\n" + head + body,
     head + body, false},
};

TEST(message_digest, one_message_or_two) {
  scratch_dir dir;
  for (const same_case& c : same_cases) {
    bool same = digest_file(dir.write("a.eml", c.first)) ==
                digest_file(dir.write("b.eml", c.second));
    EXPECT_EQ(same, c.same) << c.title;
  }
}

transfer_options written_with(quoting_mode mode, bool mboxrd, bool header,
                              bool empty_line) {
  transfer_options o;
  o.mode = mode;
  o.mboxrd = mboxrd;
  o.header_separator = header;
  o.empty_line_between = empty_line;
  return o;
}

struct old_content_case {
  const char* title;
  transfer_options options;
  bool lf;
};

const old_content_case old_content_cases[] = {
    {"the defaults", written_with(FROM_KEEP, false, false, false), false},
    {"LF", written_with(FROM_KEEP, false, false, false), true},
    {"empty lines between", written_with(FROM_KEEP, false, false, true), true},
    {"space quoting", written_with(FROM_ALL, false, false, true), false},
    {"mboxrd quoting", written_with(FROM_ALL, true, false, false), true},
    {"composed separator lines", written_with(FROM_ALL, true, true, true),
     false},
};

// Sources whose body lines pass no separator test unquoted.
const std::string sources[] = {
    head + ">From b\n>>From c\n\n\n",
    crlf(head + "x\n\n\ny"),
    "From q@r Mon Jan  1 00:00:00 2001\nStatus: O\n" + head + "z\n",
    "Received: by x; Wed, 3 Jan 1996 01:05:34 +0100\n" + head,
};

TEST(message_digest, old_content_gives_the_sources_digests) {
  for (const old_content_case& c : old_content_cases) {
    scratch_dir dir;
    std::vector<message_digest> expected;
    std::string mbox = dir.path() + "out.mbx";
    locked_file* target = open_locked(mbox, LOCKED_CREATE);
    ASSERT_NE(target, nullptr);
    set_lf_line_ends(target, c.lf);
    int n = 0;
    for (const std::string& text : sources) {
      std::string path = dir.write("m" + std::to_string(n++) + ".eml", text);
      expected.push_back(digest_file(path));
      ASSERT_GT(transfer_message(path, target, c.options), 0) << c.title;
    }
    ASSERT_TRUE(close_locked(target));
    std::vector<message_digest> found;
    source_file* file = open_source(mbox);
    EXPECT_EQ(digest_mbox(file, found), 0) << c.title;
    close_source(file);
    EXPECT_TRUE(found == expected) << c.title;
  }
}

TEST(message_digest, an_unquoted_from_line_parts_a_message) {
  scratch_dir dir;
  std::string mbox = dir.write(
      "a.mbx", "From x\n" + head + "a\nFrom here on\nb\nFrom y\n" + head);
  std::vector<message_digest> found;
  source_file* file = open_source(mbox);
  EXPECT_EQ(digest_mbox(file, found), 0);
  close_source(file);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_TRUE(found[2] == digest_file(dir.write("b.eml", head)));
}

TEST(message_digest, a_stop_while_reading_old_content) {
  scratch_dir dir;
  std::string mbox = dir.write("a.mbx", "From x\n" + head + body);
  std::vector<message_digest> found;
  source_file* file = open_source(mbox);
  request_stop();
  EXPECT_EQ(digest_mbox(file, found), E_ABORTED);
  reset_stop_flags();
  close_source(file);
}

TEST(digest_set, finds_what_went_in_across_merges) {
  digest_set set;
  std::vector<message_digest> old;
  for (uint64_t i = 0; i < 3000; ++i) {
    old.push_back({i * 7919 % 3001, i});
  }
  set.insert_all(old);
  for (uint64_t i = 0; i < 10000; ++i) {
    set.insert({(i * 104729) % 10007, ~i});
  }
  EXPECT_EQ(set.size(), 13000u);
  for (uint64_t i = 0; i < 10000; i += 37) {
    EXPECT_TRUE(set.contains({(i * 104729) % 10007, ~i})) << i;
    EXPECT_FALSE(set.contains({(i * 104729) % 10007, i + 1})) << i;
  }
  EXPECT_TRUE(set.contains({2 * 7919 % 3001, 2}));
}

}  // namespace
}  // namespace qp
