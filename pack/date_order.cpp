#include "pack/date_order.h"

#include <algorithm>
#include <string>
#include <vector>

#include "pack/line_facts.h"
#include "pack/separator_fields.h"
#include "pack/source_reader.h"

namespace qp {

// Days from the civil date, counted in eras of 400 years so that the
// leap rules need no table.
int64_t seconds_since_1970(const utc_time& time) {
  int64_t year = time.year - (time.month <= 2 ? 1 : 0);
  int64_t era = (year >= 0 ? year : year - 399) / 400;
  int64_t year_of_era = year - era * 400;
  int64_t month = time.month;
  int64_t day_of_year =
      (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + time.day - 1;
  int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  int64_t days = era * 146097 + day_of_era - 719468;
  return days * 86400 + time.hour * 3600 + time.minute * 60 + time.second;
}

int64_t source_date(const std::string& path) {
  message_source source = open_message_source(path);
  if (!source.reader) {
    return undated;
  }
  separator_fields fields;
  header_scan_options reading;
  reading.observer = &fields;
  reading.byte_limit = date_search_limit;
  scan_header(source.reader, reading);
  close_message_source(source);
  utc_time time;
  return fields.read_date(time) ? seconds_since_1970(time) : undated;
}

uint64_t date_key(int64_t seconds, uint32_t position) {
  constexpr int64_t latest = 0xfffffffe;
  uint64_t rank =
      seconds == undated ? latest + 1
      : seconds < 0
          ? 0
          : static_cast<uint64_t>(seconds < latest ? seconds : latest);
  return rank << 32 | position;
}

void sort_by_date(std::vector<uint64_t>& keys) {
  std::sort(keys.begin(), keys.end());
}

}  // namespace qp
