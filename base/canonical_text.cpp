#include "base/canonical_text.h"

#include <algorithm>
#include <vector>

#include "base/utf8.h"

namespace qp {
namespace {

// Hangul syllables decompose by rule (Unicode, section 3.12).
constexpr char32_t hangul_base = 0xAC00;
constexpr char32_t lead_base = 0x1100;
constexpr char32_t vowel_base = 0x1161;
constexpr char32_t trail_base = 0x11A7;
constexpr char32_t vowel_count = 21;
constexpr char32_t trail_count = 28;
constexpr char32_t hangul_count = 19 * vowel_count * trail_count;

uint8_t combining_class(char32_t code) {
  const combining_class_range* end =
      combining_class_table + combining_class_table_size;
  const combining_class_range* found = std::upper_bound(
      combining_class_table, end, code,
      [](char32_t c, const combining_class_range& r) { return c < r.first; });
  if (found == combining_class_table) {
    return 0;
  }
  --found;
  return code <= found->last ? found->combining_class : 0;
}

const decomposition_entry* find_decomposition(char32_t code) {
  const decomposition_entry* end =
      decomposition_table + decomposition_table_size;
  const decomposition_entry* found = std::lower_bound(
      decomposition_table, end, code,
      [](const decomposition_entry& e, char32_t c) { return e.code < c; });
  return found != end && found->code == code ? found : nullptr;
}

void decompose(char32_t code, std::vector<char32_t>& out) {
  if (code >= hangul_base && code < hangul_base + hangul_count) {
    const char32_t index = code - hangul_base;
    out.push_back(lead_base + index / (vowel_count * trail_count));
    out.push_back(vowel_base +
                  index % (vowel_count * trail_count) / trail_count);
    if (index % trail_count != 0) {
      out.push_back(trail_base + index % trail_count);
    }
    return;
  }
  if (const decomposition_entry* entry = find_decomposition(code)) {
    decompose(entry->first, out);
    if (entry->second != 0) {
      decompose(entry->second, out);
    }
    return;
  }
  out.push_back(code);
}

// Marks in a row are put in the order of their classes, a stable sort:
// the canonical ordering.
void order_marks(std::vector<char32_t>& codes) {
  size_t i = 0;
  while (i < codes.size()) {
    if (combining_class(codes[i]) == 0) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < codes.size() && combining_class(codes[end]) != 0) {
      ++end;
    }
    std::stable_sort(codes.begin() + static_cast<std::ptrdiff_t>(i),
                     codes.begin() + static_cast<std::ptrdiff_t>(end),
                     [](char32_t a, char32_t b) {
                       return combining_class(a) < combining_class(b);
                     });
    i = end;
  }
}

// Stray bytes are kept as code points above Unicode's range.
constexpr char32_t stray_byte = 0x110000;

}  // namespace

std::string canonical_decomposition(std::string_view text) {
  std::vector<char32_t> codes;
  for (size_t at = 0; at < text.size();) {
    char32_t code = 0;
    const size_t length = decode_utf8(text, at, code);
    if (length == 0) {
      codes.push_back(stray_byte + static_cast<unsigned char>(text[at]));
      ++at;
      continue;
    }
    decompose(code, codes);
    at += length;
  }
  order_marks(codes);
  std::string out;
  for (char32_t code : codes) {
    if (code >= stray_byte) {
      out.push_back(static_cast<char>(code - stray_byte));
    } else {
      append_utf8(code, out);
    }
  }
  return out;
}

bool canonically_equal(std::string_view a, std::string_view b) {
  return a == b || canonical_decomposition(a) == canonical_decomposition(b);
}

}  // namespace qp
