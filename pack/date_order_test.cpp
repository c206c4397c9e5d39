// The date a source is ordered by, and the order of a list of dates.
#include "pack/date_order.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/scratch.h"

namespace qp {
namespace {

const std::string from = "From: <a@b>\n";

struct dated_case {
  const char* title;
  std::string header;
  int64_t seconds;  // since 1970 in UTC, or undated
};

const dated_case dated_cases[] = {
    {"a Date field", "Date: Wed, 3 Jan 1996 01:05:34 +0100\n" + from,
     820627534},
    {"a zone across midnight and the year",
     from + "Date: Mon, 1 Jan 2001 00:30:00 +0100\n", 978305400},
    {"and the other way", "Date: Sun, 31 Dec 2000 23:30 -0100\n" + from,
     978309000},
    {"an obsolete zone and a two-digit year",
     "Date: 3 Jan 96 01:05:34 EST\n" + from, 820649134},
    {"a year written 0102", "Date: Thu, 18 Jul 0102 19:51:35 -0100\n" + from,
     1027025495},
    {"past 2038 and 2099", "Date: 1 Mar 2100 00:00:00 +0000\n" + from,
     4107542400},
    {"Received only, its first one",
     "Received: from x by y; Wed, 3 Jan 1996 01:05:34 +0100\n"
     "Received: from z; 1 Mar 2100 00:00:00 +0000\n" +
         from,
     820627534},
    {"an unreadable Date, then Received",
     "Date: someday\nReceived: by y;\n 3 Jan 96 01:05:34 EST\n" + from,
     820649134},
    {"no date at all", from + "Subject: x\n", undated},
    {"a date before 1970 is none", "Date: 1 Jan 1969 00:00:00 +0000\n" + from,
     undated},
    {"a date in the body is none", from + "\nDate: 1 Jan 2001 00:00 +0000\n",
     undated},
    {"a date past the first 64 KiB is none",
     "X-Long: " + std::string(70000, 'x') + "\n" +
         "Date: 1 Jan 2001 00:00 +0000\n" + from,
     undated},
    {"after an own separator line",
     "From x@y Mon Jan  1 00:00:00 2001\nDate: 1 Jan 70 00:00:00 +0000\n" +
         from,
     0},
};

TEST(date_order, the_date_of_a_source) {
  testing_support::scratch_dir dir;
  for (const dated_case& c : dated_cases) {
    std::string path = dir.write("m.eml", c.header + "\nbody\n");
    EXPECT_EQ(source_date(path), c.seconds) << c.title;
  }
  EXPECT_EQ(source_date(dir.path() + "missing.eml"), undated);
}

TEST(date_order, earliest_first_ties_and_undated_in_listing_order) {
  const int64_t times[] = {undated, 50,         10,         undated,
                           50,      4107542400, 4294967295, 10};
  std::vector<uint64_t> keys;
  for (uint32_t i = 0; i < 8; ++i) {
    keys.push_back(date_key(times[i], i));
  }
  sort_by_date(keys);
  std::vector<uint32_t> positions;
  for (uint64_t key : keys) {
    positions.push_back(key_position(key));
  }
  // Past 2106 every date is one, still before the undated.
  const std::vector<uint32_t> expected = {2, 7, 1, 4, 5, 6, 0, 3};
  EXPECT_EQ(positions, expected);
}

}  // namespace
}  // namespace qp
