// The order of messages by their dates: each source's date read from the
// start of its header, and the packing order those dates give.
#ifndef QUILLPACK_PACK_DATE_ORDER_H_
#define QUILLPACK_PACK_DATE_ORDER_H_

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "pack/mail_date.h"

namespace qp {

// A message without a date that can be read sorts after every dated one.
inline constexpr int64_t undated = std::numeric_limits<int64_t>::max();

// How much of a source's start its date is looked for in.
inline constexpr int64_t date_search_limit = 64 * 1024;

// Seconds since 1970-01-01 00:00:00 UTC (negative before).
int64_t seconds_since_1970(const utc_time& time);

// The date of the message a source packs: its Date field, else its first
// Received field's date, as a composed separator line reads them; undated
// when neither is in its first 64 KiB, or the file cannot be read.
int64_t source_date(const std::string& path);

// A file's place in the date order: its date above, its listing position
// below, so that plain sorting keeps equal dates in listing order. Dates
// are kept to the second up to 2106; later ones count as equal, and the
// undated come last.
uint64_t date_key(int64_t seconds, uint32_t position);
inline uint32_t key_position(uint64_t key) {
  return static_cast<uint32_t>(key);
}

// Sorts keys into the date order, earliest first.
void sort_by_date(std::vector<uint64_t>& keys);

}  // namespace qp

#endif  // QUILLPACK_PACK_DATE_ORDER_H_
