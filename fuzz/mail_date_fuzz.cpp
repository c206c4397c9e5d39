// The date reader and the composed separator line over arbitrary header
// bytes. Besides not failing: a date that is read is a real moment in the
// separator form, and a composed line is always a separator line.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "pack/mail_date.h"
#include "pack/separator.h"
#include "pack/separator_fields.h"

namespace {

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "mail_date_fuzz: %s\n", what);
    std::abort();
  }
}

void check_date(std::string_view text) {
  qp::utc_time time;
  if (!qp::read_mail_date(text, time)) {
    return;
  }
  check(text.size() <= qp::mail_date_limit, "an overlong date was read");
  check(time.month >= 1 && time.month <= 12 && time.day >= 1 &&
            time.day <= 31 && time.hour <= 23 && time.minute <= 59 &&
            time.second <= 59 && time.weekday >= 0 && time.weekday <= 6,
        "a date out of range");
  std::string written = qp::separator_date(time);
  check(written.size() == 24, "the separator date has the wrong length");
  // The written moment reads back as itself.
  std::string plain = written.substr(8, 2) + " " + written.substr(4, 3) + " " +
                      written.substr(20, 4) + " " + written.substr(11, 8) +
                      " +0000";
  qp::utc_time again;
  check(
      qp::read_mail_date(plain, again) && qp::separator_date(again) == written,
      "a written date does not read back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  check_date(input);
  // The input as header lines, fed in pieces of up to seven bytes.
  qp::separator_fields fields;
  size_t start = 0;
  while (start < input.size()) {
    size_t end = input.find('\n', start);
    std::string_view line = input.substr(start, end == std::string_view::npos
                                                    ? std::string_view::npos
                                                    : end - start);
    for (size_t at = 0; at < line.size(); at += 7) {
      fields.feed(line.substr(at, 7));
    }
    fields.end_line();
    start = end == std::string_view::npos ? input.size() : end + 1;
  }
  std::string line = fields.compose();
  check(qp::is_from_line(line), "the composed line is no separator line");
  check(line.size() <= 5 + qp::mail_date_limit + 26,
        "the composed line is longer than its parts");
  return 0;
}
