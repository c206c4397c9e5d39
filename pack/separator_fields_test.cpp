// The separator line composed from header lines: which field gives the
// address and the date, and what makes either unusable.
#include "pack/separator_fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pack/separator.h"

namespace qp {
namespace {

const std::string fixed(fallback_from_line);
const char* const date = "Date: Wed, 3 Jan 1996 01:05:34 +0000";
const char* const utc = " Wed Jan  3 01:05:34 1996\n";

struct compose_case {
  const char* title;
  std::vector<std::string> lines;  // header lines without line ends
  std::string expected;
};

std::string from(const std::string& address) {
  return "From " + address + utc;
}

const std::vector<compose_case> compose_cases = {
    {"a bare From address",
     {"From: a@example.org", date},
     from("a@example.org")},
    {"the part inside angle brackets",
     {"FROM : Alice Example <alice@example.org>", date},
     from("alice@example.org")},
    {"a non-empty Return-Path wins",
     {"From: a@example.org", "Return-Path: <bounce@example.org>", date},
     from("bounce@example.org")},
    {"an empty Return-Path gives way to From",
     {"Return-Path: <>", "From: a@example.org", date},
     from("a@example.org")},
    {"a Return-Path of blanks gives way to From",
     {"Return-Path:   ", "From: a@example.org", date},
     from("a@example.org")},
    {"only the first From counts",
     {"From: first@example.org", "From: second@example.org", date},
     from("first@example.org")},
    {"names are matched whole",
     {"From-Agent: robot@example.org", "Fromage: cheese", "From: a@b", date},
     from("a@b")},
    {"a value folded over lines",
     {"From: Bob", "\t<bob@example.net>", date},
     from("bob@example.net")},
    {"a blank inside the address", {"From: a@b (Alice)", date}, from("-")},
    {"a control byte", {"From: <a\x01@b>", date}, from("-")},
    {"a byte from 0x7f", {"From: <caf\xc3\xa9@b>", date}, from("-")},
    {"a leading colon", {"From: <:a@b>", date}, from("-")},
    {"a quote, a backslash, a colon, a semicolon or an angle bracket",
     {"From: <\"a\"@b>", date},
     from("-")},
    {"a backslash", {"From: a\\b@c", date}, from("-")},
    {"a colon inside", {"Return-Path: <a:b@c>", "From: x@y", date}, from("-")},
    {"a semicolon", {"From: a;b@c", date}, from("-")},
    {"an unclosed angle bracket", {"From: Alice <a@b", date}, from("-")},
    {"a year past 2099 gives the fixed line",
     {"Date: 1 Jan 2100 00:00:00 +0000", "From: a@b"},
     fixed},
    {"a Date before 1970 gives way to Received",
     {"Received: from a; Wed, 3 Jan 1996 01:05:34 +0000",
      "Date: 1 Jan 1969 00:00:00 +0000", "From: a@b"},
     from("a@b")},
    {"an empty From", {"From:", date}, from("-")},
    {"no From at all", {"Subject: x", date}, from("-")},
    {"an unreadable Date takes the last part of the first Received",
     {"Received: from a; by b; Wed, 3 Jan 1996 02:05:34 +0100",
      "Received: from c; Thu, 4 Jan 1996 00:00:00 +0000", "Date: soon",
      "From: a@b"},
     from("a@b")},
    {"a folded Received",
     {"Received: from a", " by b; Wed, 3 Jan 1996", "  01:05:34 +0000",
      "From: a@b"},
     from("a@b")},
    {"a Received without a date", {"Received: from a", "From: a@b"}, fixed},
    {"an impossible Date and no Received",
     {"Date: 31 Apr 2001 10:00:00 +0000", "From: a@b"},
     fixed},
    {"a Date continued on the next line",
     {"Date: Wed, 3 Jan 1996", " 01:05:34 +0000", "From: a@b"},
     from("a@b")},
    {"a field after the Date ends it",
     {"Date: Wed, 3 Jan 1996", "X-Time: 01:05:34 +0000", "From: a@b"},
     fixed},
};

TEST(separator_fields, composes_from_the_first_usable_fields) {
  for (const compose_case& c : compose_cases) {
    separator_fields fields;
    for (const std::string& line : c.lines) {
      fields.feed(line);
      fields.end_line();
    }
    EXPECT_EQ(fields.compose(), c.expected) << c.title;
  }
}

TEST(separator_fields, lines_in_pieces_read_like_whole_ones) {
  separator_fields fields;
  for (const std::string& line :
       {std::string("Return-Path: <x@y>"), std::string(date)}) {
    for (char c : line) {
      fields.feed(std::string(1, c));
    }
    fields.end_line();
  }
  EXPECT_EQ(fields.compose(), from("x@y"));
}

TEST(separator_fields, overlong_values_are_not_gathered) {
  std::string blanks(1000, ' ');
  // A Date padded past the limit is unreadable: the Received date counts.
  separator_fields dated;
  dated.feed(std::string(date) + blanks);
  dated.end_line();
  dated.feed("Received: x; Thu, 4 Jan 1996 00:00:00 +0000");
  dated.end_line();
  dated.feed("From: a@b");
  dated.end_line();
  EXPECT_EQ(dated.compose(), "From a@b Thu Jan  4 00:00:00 1996\n");
  // A Return-Path grown past the limit by its continuations gives way.
  separator_fields folded;
  folded.feed("Return-Path: <r@s>");
  folded.end_line();
  for (int i = 0; i < 200; ++i) {
    folded.feed("      ");
    folded.end_line();
  }
  folded.feed("From: a@b");
  folded.end_line();
  folded.feed(date);
  folded.end_line();
  EXPECT_EQ(folded.compose(), from("a@b"));
}

}  // namespace
}  // namespace qp
