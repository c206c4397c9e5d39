// The one order of every listing, the same on every platform and file
// system: the names' UTF-16 code units, each unit of the Basic Multilingual
// Plane upper-cased by the simple mapping of one fixed Unicode version (the
// units of supplementary characters stay as they are, as NTFS keeps them),
// compared unit by unit; names equal under that key in byte order; names
// that are not valid UTF-8 after all others, in byte order. On NTFS this is
// the order the system lists in already; elsewhere it makes the order, and
// so the mbox files, the same.
#ifndef QUILLPACK_BASE_NAME_ORDER_H_
#define QUILLPACK_BASE_NAME_ORDER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/paths.h"

namespace qp {

struct upper_pair {
  uint16_t from;
  uint16_t to;
};
// Sorted by from; generated from UnicodeData.txt (upper_table.cpp).
extern const upper_pair upper_table[];
extern const size_t upper_table_size;

// The simple upper case of one UTF-16 code unit; a surrogate stays itself.
char16_t upper_unit(char16_t unit);

// Whether name a comes before name b.
bool name_before(const std::string& a, const std::string& b);

// Sorts entries by name, each name's key computed once.
void sort_listing(std::vector<listing_entry>& entries);

}  // namespace qp

#endif  // QUILLPACK_BASE_NAME_ORDER_H_
