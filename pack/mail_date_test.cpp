// The date reader against real Date: fields and the obsolete forms, each
// with its UTC result as a separator line writes it ("" when unreadable).
#include "pack/mail_date.h"

#include <gtest/gtest.h>

#include <string>

namespace qp {
namespace {

struct date_case {
  const char* text;
  const char* utc;  // "" when the date cannot be read
};

const date_case date_cases[] = {
    // Forms found in Python's e-mail test messages.
    {"Fri, 20 Apr 2001 19:35:02 -0400", "Fri Apr 20 23:35:02 2001"},
    {"Fri, 20 Apr 2001 20:18:00 -0400 (EDT)", "Sat Apr 21 00:18:00 2001"},
    {"Fri, 6 Apr 2001 09:23:06 -0800 (GMT-0800)", "Fri Apr  6 17:23:06 2001"},
    {"Mon, 01 Feb 2010 12:18:40 +0100", "Mon Feb  1 11:18:40 2010"},
    {"Sat, 27 Nov 2004 03:35:30 UTC", "Sat Nov 27 03:35:30 2004"},
    {"Tue, 22 Dec 1998 16:55:06 -0500", "Tue Dec 22 21:55:06 1998"},
    {"Sun, 23 Sep 2001 20:14:35 -0700 (PDT)", "Mon Sep 24 03:14:35 2001"},
    {"Tue, 16 Oct 2001 13:59:25 +0300", "Tue Oct 16 10:59:25 2001"},
    // Day name optional, and ignored: the day is computed.
    {"3 Jan 1996 01:05:34 +0000", "Wed Jan  3 01:05:34 1996"},
    {"Sat, 3 Jan 1996 01:05:34 +0000", "Wed Jan  3 01:05:34 1996"},
    {"wednesday, 3 jan 1996 01:05:34 gmt", "Wed Jan  3 01:05:34 1996"},
    // Folding white space and comments anywhere, nested ones too.
    {"  Wed ,\r\n 3 (day) Jan\t1996 01 : 05 : 34 (a (nested) note) +0000 ",
     "Wed Jan  3 01:05:34 1996"},
    // Two- and three-digit years.
    {"1 Jan 49 00:00:00 +0000", "Fri Jan  1 00:00:00 2049"},
    {"1 Jan 70 00:00:00 +0000", "Thu Jan  1 00:00:00 1970"},
    {"3 Jan 96 01:05:34 EST", "Wed Jan  3 06:05:34 1996"},
    {"1 Jan 101 00:00:00 +0000", "Mon Jan  1 00:00:00 2001"},
    // Years since 1900 padded to four digits, as old mailers wrote them.
    {"Thu, 18 Jul 0102 19:51:35 -0100", "Thu Jul 18 20:51:35 2002"},
    {"1 Jan 0999 00:00:00 +0000", "Thu Jan  1 00:00:00 2899"},
    // Dates before 1970 are a mailer's fault: not used.
    {"1 Jan 50 00:00:00 +0000", ""},
    {"31 Dec 1969 23:59:59 +0000", ""},
    {"1 Jan 1970 00:30:00 +0100", ""},
    {"1 Jan 1000 00:00:00 +0000", ""},
    // No seconds; named zones; military letters and unknown names as UTC.
    {"1 Jan 2001 10:00 +0000", "Mon Jan  1 10:00:00 2001"},
    {"1 Jul 2001 12:00:00 EDT", "Sun Jul  1 16:00:00 2001"},
    {"1 Jul 2001 12:00:00 CST", "Sun Jul  1 18:00:00 2001"},
    {"1 Jul 2001 12:00:00 CDT", "Sun Jul  1 17:00:00 2001"},
    {"1 Jul 2001 12:00:00 MST", "Sun Jul  1 19:00:00 2001"},
    {"1 Jul 2001 12:00:00 MDT", "Sun Jul  1 18:00:00 2001"},
    {"1 Jul 2001 12:00:00 PST", "Sun Jul  1 20:00:00 2001"},
    {"1 Jul 2001 12:00:00 PDT", "Sun Jul  1 19:00:00 2001"},
    {"1 Jul 2001 12:00:00 UT", "Sun Jul  1 12:00:00 2001"},
    {"1 Jul 2001 12:00:00 Z", "Sun Jul  1 12:00:00 2001"},
    {"1 Jul 2001 12:00:00 CET", "Sun Jul  1 12:00:00 2001"},
    // Zones that move the date across a day, a month and a year.
    {"31 Dec 1999 23:30:00 -0100", "Sat Jan  1 00:30:00 2000"},
    {"1 Mar 2000 00:10:00 +0100", "Tue Feb 29 23:10:00 2000"},
    {"1 Jan 2000 00:00:00 +2359", "Fri Dec 31 00:01:00 1999"},
    // A leap second is written as 59.
    {"31 Dec 2016 23:59:60 +0000", "Sat Dec 31 23:59:59 2016"},
    {"29 Feb 2004 12:00:00 +0000", "Sun Feb 29 12:00:00 2004"},
    // Impossible or unreadable values.
    {"29 Feb 2001 12:00:00 +0000", ""},
    {"31 Apr 2001 12:00:00 +0000", ""},
    {"1 Foo 2001 12:00:00 +0000", ""},
    {"1 Jan 2001 24:00:00 +0000", ""},
    {"1 Jan 2001 23:60:00 +0000", ""},
    {"1 Jan 2001 23:59:61 +0000", ""},
    {"1 Jan 2001 12:00:00 +2400", ""},
    {"1 Jan 2001 12:00:00 +0160", ""},
    {"1 Jan 2001 12:00:00 +100", ""},
    {"0 Jan 2001 12:00:00 +0000", ""},
    {"1 Jan 12345 12:00:00 +0000", ""},
    {"Someday, 1 Jan 2001 12:00:00 +0000", ""},
    {"sometime last week", ""},
    {"", ""},
};

TEST(mail_date, reads_each_form_to_utc) {
  for (const date_case& c : date_cases) {
    utc_time time;
    bool read = read_mail_date(c.text, time);
    EXPECT_EQ(read ? separator_date(time) : std::string(), c.utc) << c.text;
  }
}

TEST(mail_date, a_value_longer_than_a_field_line_is_unreadable) {
  std::string date = "1 Jan 2001 12:00:00 +0000";
  std::string padded = date + std::string(mail_date_limit - date.size(), ' ');
  utc_time time;
  EXPECT_TRUE(read_mail_date(padded, time));
  EXPECT_FALSE(read_mail_date(padded + " ", time));
}

}  // namespace
}  // namespace qp
