// The date of a mail header field (RFC 5322, with its obsolete forms),
// read into a UTC time, and the form a separator line writes it in.
#ifndef QUILLPACK_PACK_MAIL_DATE_H_
#define QUILLPACK_PACK_MAIL_DATE_H_

#include <string>
#include <string_view>

namespace qp {

struct utc_time {
  int year = 0;
  int month = 0;  // 1 to 12
  int day = 0;    // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;   // 0 to 59: a leap second is written as 59
  int weekday = 0;  // 0 Sunday to 6 Saturday, computed
};

// The longest field value the reader takes; a longer one is unreadable.
inline constexpr size_t mail_date_limit = 998;

// Reads a date-time such as "Sat, 3 Jan 1996 01:05:34 +0100 (CET)" and
// converts it to UTC. False when the text cannot be read or names an
// impossible moment (an unknown month, the 31st of April, 24:00, a zone
// beyond +-2359).
bool read_mail_date(std::string_view text, utc_time& out);

// "Www Mmm dd hh:mm:ss yyyy", the day padded with a blank.
std::string separator_date(const utc_time& time);

}  // namespace qp

#endif  // QUILLPACK_PACK_MAIL_DATE_H_
