// The listing order.
#include "collect/name_order.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "collect/utf8.h"

namespace qp {
namespace {

struct order_key {
  bool invalid;          // not valid UTF-8: after every valid name
  std::u16string upper;  // the upper-cased units of a valid name
};

order_key key_of(const std::string& name) {
  order_key key{!is_valid_utf8(name), std::u16string()};
  if (!key.invalid) {
    key.upper = utf8_to_utf16(name);
    for (char16_t& unit : key.upper) {
      unit = upper_unit(unit);
    }
  }
  return key;
}

bool key_before(const order_key& ka, const std::string& a, const order_key& kb,
                const std::string& b) {
  if (ka.invalid != kb.invalid) {
    return kb.invalid;
  }
  if (ka.upper != kb.upper) {
    return ka.upper < kb.upper;
  }
  return a < b;  // std::string compares bytes as unsigned char
}

}  // namespace

char16_t upper_unit(char16_t unit) {
  if (unit < 0x80) {
    return unit >= u'a' && unit <= u'z' ? unit - (u'a' - u'A') : unit;
  }
  const upper_pair* end = upper_table + upper_table_size;
  const upper_pair* found = std::lower_bound(
      upper_table, end, unit,
      [](const upper_pair& pair, char16_t u) { return pair.from < u; });
  return found != end && found->from == unit ? found->to : unit;
}

bool name_before(const std::string& a, const std::string& b) {
  return key_before(key_of(a), a, key_of(b), b);
}

void sort_listing(std::vector<listing_entry>& entries) {
  std::vector<order_key> keys;
  keys.reserve(entries.size());
  for (const listing_entry& entry : entries) {
    keys.push_back(key_of(entry.name));
  }
  std::vector<size_t> order(entries.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](size_t i, size_t j) {
    return key_before(keys[i], entries[i].name, keys[j], entries[j].name);
  });
  std::vector<listing_entry> sorted;
  sorted.reserve(entries.size());
  for (size_t i : order) {
    sorted.push_back(std::move(entries[i]));
  }
  entries = std::move(sorted);
}

}  // namespace qp
