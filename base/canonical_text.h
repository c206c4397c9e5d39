// Canonical equivalence of texts: "é" as one character and as "e" with a
// combining accent are the same text. macOS stores file names decomposed,
// while a message names its attachment as it was typed; the two compare
// equal when their canonical decompositions do, which is exactly when
// their composed (NFC) forms do.
#ifndef QUILLPACK_BASE_CANONICAL_TEXT_H_
#define QUILLPACK_BASE_CANONICAL_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qp {

struct decomposition_entry {
  char32_t code;
  char32_t first;
  char32_t second;  // 0 for a decomposition into one character
};
struct combining_class_range {
  char32_t first;
  char32_t last;
  uint8_t combining_class;
};
// Sorted by code; generated from UnicodeData.txt (decomposition_table.cpp).
extern const decomposition_entry decomposition_table[];
extern const size_t decomposition_table_size;
extern const combining_class_range combining_class_table[];
extern const size_t combining_class_table_size;

// The canonical decomposition (NFD) of UTF-8 text; bytes that are not
// valid UTF-8 stay as they are.
std::string canonical_decomposition(std::string_view text);

bool canonically_equal(std::string_view a, std::string_view b);

}  // namespace qp

#endif  // QUILLPACK_BASE_CANONICAL_TEXT_H_
