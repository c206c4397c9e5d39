// The date reader follows the date-time grammar of RFC 5322 section 3.3
// with the obsolete forms of section 4.3:
//   [day-name ","] day month year hour ":" minute [":" second] zone
// Comments and folding white space may stand between any two parts; a
// two-digit year below 50 is 20xx, any other two- or three-digit year
// counts from 1900. Text after the zone is ignored.
#include "pack/mail_date.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace qp {
namespace {

enum token_kind { TOKEN_NUMBER, TOKEN_WORD, TOKEN_MARK };

struct token {
  token_kind kind;
  std::string_view text;
  int64_t value = 0;  // numbers only
};

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

bool is_letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_word(std::string_view word, std::string_view lower_name) {
  if (word.size() != lower_name.size()) {
    return false;
  }
  for (size_t i = 0; i < word.size(); ++i) {
    if (lower(word[i]) != lower_name[i]) {
      return false;
    }
  }
  return true;
}

// The end of a comment that opens at text[at], nested comments and quoted
// pairs included; an unclosed comment runs to the end of the text.
size_t skip_comment(std::string_view text, size_t at) {
  int depth = 0;
  for (size_t i = at; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == '(') {
      ++depth;
    } else if (text[i] == ')' && --depth == 0) {
      return i + 1;
    }
  }
  return text.size();
}

// Numbers, words and single marks; blanks, line ends and comments only
// separate them.
std::vector<token> split_tokens(std::string_view text) {
  std::vector<token> tokens;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
    } else if (c == '(') {
      i = skip_comment(text, i);
    } else if (is_digit(c) || is_letter(c)) {
      bool digits = is_digit(c);
      size_t start = i;
      int64_t value = 0;
      while (i < text.size() &&
             (digits ? is_digit(text[i]) : is_letter(text[i]))) {
        if (digits && value < 1000000) {
          value = value * 10 + (text[i] - '0');
        }
        ++i;
      }
      tokens.push_back({digits ? TOKEN_NUMBER : TOKEN_WORD,
                        text.substr(start, i - start), value});
    } else {
      tokens.push_back({TOKEN_MARK, text.substr(i, 1), 0});
      ++i;
    }
  }
  return tokens;
}

const char* const day_names[7] = {"sun", "mon", "tue", "wed",
                                  "thu", "fri", "sat"};
const char* const full_day_names[7] = {"sunday",    "monday",   "tuesday",
                                       "wednesday", "thursday", "friday",
                                       "saturday"};
const char* const month_names[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                     "jul", "aug", "sep", "oct", "nov", "dec"};

bool is_day_name(std::string_view word) {
  for (int i = 0; i < 7; ++i) {
    if (same_word(word, day_names[i]) || same_word(word, full_day_names[i])) {
      return true;
    }
  }
  return false;
}

int month_number(std::string_view word) {
  for (int i = 0; i < 12; ++i) {
    if (same_word(word, month_names[i])) {
      return i + 1;
    }
  }
  return 0;
}

bool is_leap_year(int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int64_t year, int month) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap_year(year) ? 29 : days[month - 1];
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
int64_t days_from_civil(int64_t year, int month, int day) {
  year -= month <= 2;
  int64_t era = (year >= 0 ? year : year - 399) / 400;
  int64_t year_of_era = year - era * 400;
  int64_t day_of_year =
      (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

void civil_from_days(int64_t days, utc_time& out) {
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  int64_t day_of_era = days - era * 146097;
  int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 -
                         day_of_era / 146096) /
                        365;
  int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  int64_t mp = (5 * day_of_year + 2) / 153;
  out.day = static_cast<int>(day_of_year - (153 * mp + 2) / 5 + 1);
  out.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  out.year = static_cast<int>(year_of_era + era * 400 + (out.month <= 2));
}

// The offset of a named zone in minutes; unknown names and the military
// letters count as +0000.
int named_zone_minutes(std::string_view word) {
  static const struct {
    const char* name;
    int hours;
  } zones[] = {{"ut", 0},   {"gmt", 0},  {"est", -5}, {"edt", -4}, {"cst", -6},
               {"cdt", -5}, {"mst", -7}, {"mdt", -6}, {"pst", -8}, {"pdt", -7}};
  for (const auto& zone : zones) {
    if (same_word(word, zone.name)) {
      return zone.hours * 60;
    }
  }
  return 0;
}

// Walks the tokens of one date-time.
class date_parser {
 public:
  explicit date_parser(std::vector<token> tokens)
      : tokens_(std::move(tokens)) {}

  bool word(std::string_view& text) {
    if (at_end() || tokens_[next_].kind != TOKEN_WORD) {
      return false;
    }
    text = tokens_[next_++].text;
    return true;
  }
  // A number of min_digits to max_digits digits.
  bool number(size_t min_digits, size_t max_digits, int64_t& value,
              size_t* digits = nullptr) {
    if (at_end() || tokens_[next_].kind != TOKEN_NUMBER) {
      return false;
    }
    const token& t = tokens_[next_];
    if (t.text.size() < min_digits || t.text.size() > max_digits) {
      return false;
    }
    value = t.value;
    if (digits) {
      *digits = t.text.size();
    }
    ++next_;
    return true;
  }
  bool mark(char c) {
    if (at_end() || tokens_[next_].kind != TOKEN_MARK ||
        tokens_[next_].text[0] != c) {
      return false;
    }
    ++next_;
    return true;
  }
  bool peek_word() const {
    return !at_end() && tokens_[next_].kind == TOKEN_WORD;
  }
  bool at_end() const {
    return next_ >= tokens_.size();
  }

 private:
  std::vector<token> tokens_;
  size_t next_ = 0;
};

struct local_time {
  int64_t year = 0;
  int month = 0;
  int64_t day = 0;
  int64_t hour = 0;
  int64_t minute = 0;
  int64_t second = 0;
  int zone_minutes = 0;
};

bool read_year(date_parser& parser, int64_t& year) {
  size_t digits = 0;
  if (!parser.number(2, 4, year, &digits)) {
    return false;
  }
  // Old mailers printed the years since 1900, some padded to four digits
  // ("0102"): below 1000 a year reads as three digits do.
  if (digits == 2) {
    year += year < 50 ? 2000 : 1900;
  } else if (digits == 3 || year < 1000) {
    year += 1900;
  }
  return true;
}

bool read_zone(date_parser& parser, int& zone_minutes) {
  zone_minutes = 0;
  bool plus = parser.mark('+');
  if (plus || parser.mark('-')) {
    int64_t zone = 0;
    if (!parser.number(4, 4, zone) || zone / 100 > 23 || zone % 100 > 59) {
      return false;
    }
    int minutes = static_cast<int>(zone / 100 * 60 + zone % 100);
    zone_minutes = plus ? minutes : -minutes;
    return true;
  }
  std::string_view name;
  if (parser.word(name)) {
    zone_minutes = named_zone_minutes(name);
  }
  return true;  // a missing zone counts as +0000 too
}

bool read_local_time(std::string_view text, local_time& t) {
  date_parser parser(split_tokens(text));
  std::string_view name;
  if (parser.peek_word()) {
    if (!parser.word(name) || !is_day_name(name)) {
      return false;
    }
    parser.mark(',');
  }
  if (!parser.number(1, 2, t.day) || !parser.word(name)) {
    return false;
  }
  t.month = month_number(name);
  if (t.month == 0 || !read_year(parser, t.year)) {
    return false;
  }
  if (!parser.number(1, 2, t.hour) || !parser.mark(':') ||
      !parser.number(1, 2, t.minute)) {
    return false;
  }
  if (parser.mark(':') && !parser.number(1, 2, t.second)) {
    return false;
  }
  return read_zone(parser, t.zone_minutes);
}

}  // namespace

bool read_mail_date(std::string_view text, utc_time& out) {
  if (text.size() > mail_date_limit) {
    return false;
  }
  local_time t;
  if (!read_local_time(text, t)) {
    return false;
  }
  if (t.day < 1 || t.day > days_in_month(t.year, t.month) || t.hour > 23 ||
      t.minute > 59 || t.second > 60) {
    return false;
  }
  if (t.second == 60) {
    t.second = 59;
  }
  int64_t minutes =
      days_from_civil(t.year, t.month, static_cast<int>(t.day)) * 1440 +
      t.hour * 60 + t.minute - t.zone_minutes;
  int64_t days = minutes >= 0 ? minutes / 1440 : (minutes - 1439) / 1440;
  int64_t in_day = minutes - days * 1440;
  civil_from_days(days, out);
  // No mail is older than 1970: such a date is a mailer's fault, and the
  // next source of a date is the better one.
  if (out.year < 1970 || out.year > 9999) {
    return false;
  }
  out.hour = static_cast<int>(in_day / 60);
  out.minute = static_cast<int>(in_day % 60);
  out.second = static_cast<int>(t.second);
  out.weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01: Thu
  return true;
}

std::string separator_date(const utc_time& time) {
  static const char* const days[7] = {"Sun", "Mon", "Tue", "Wed",
                                      "Thu", "Fri", "Sat"};
  static const char* const months[12] = {"Jan", "Feb", "Mar", "Apr",
                                         "May", "Jun", "Jul", "Aug",
                                         "Sep", "Oct", "Nov", "Dec"};
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %04d",
                days[time.weekday % 7], months[(time.month + 11) % 12],
                time.day, time.hour, time.minute, time.second, time.year);
  return text;
}

}  // namespace qp
