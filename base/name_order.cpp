// The listing order.
#include "base/name_order.h"

#include <algorithm>
#include <utility>

#include "base/utf8.h"

namespace qp {
namespace {

struct order_key {
  bool invalid;       // not valid UTF-8: after every valid name
  std::string units;  // the upper-cased units of a valid name, big-endian
};

// The units are held as big-endian byte pairs, whose byte order is the
// order of the units: a byte comparison (memcmp) is many times faster than
// one of UTF-16 strings, which compares unit by unit.
order_key key_of(const std::string& name) {
  order_key key{!is_valid_utf8(name), std::string()};
  if (!key.invalid) {
    const std::u16string units = utf8_to_utf16(name);
    key.units.reserve(units.size() * 2);
    for (char16_t unit : units) {
      const char16_t upper = upper_unit(unit);
      key.units += static_cast<char>(upper >> 8);
      key.units += static_cast<char>(upper & 0xFF);
    }
  }
  return key;
}

// Negative, zero or positive as a comes before, with or after b.
int compare_keys(const order_key& ka, const std::string& a, const order_key& kb,
                 const std::string& b) {
  if (ka.invalid != kb.invalid) {
    return ka.invalid ? 1 : -1;
  }
  const int by_key = ka.units.compare(kb.units);
  return by_key != 0 ? by_key : a.compare(b);  // bytes as unsigned char
}

// An entry's key beside its place in the listing, so that the sort moves
// small records and reads a name only on a tie.
struct keyed_entry {
  order_key key;
  size_t index;
};

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
  return compare_keys(key_of(a), a, key_of(b), b) < 0;
}

// Puts entries[order[i]] at i, following each cycle of the permutation,
// so that no second listing is held while the entries move.
void apply_order(std::vector<listing_entry>& entries,
                 std::vector<size_t>& order) {
  for (size_t start = 0; start < order.size(); ++start) {
    if (order[start] == start) {
      continue;
    }
    listing_entry held = std::move(entries[start]);
    size_t at = start;
    while (order[at] != start) {
      const size_t from = order[at];
      entries[at] = std::move(entries[from]);
      order[at] = at;
      at = from;
    }
    entries[at] = std::move(held);
    order[at] = at;
  }
}

void sort_listing(std::vector<listing_entry>& entries) {
  std::vector<size_t> order;
  {
    std::vector<keyed_entry> keyed;
    keyed.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      keyed.push_back(keyed_entry{key_of(entries[i].name), i});
    }
    std::sort(keyed.begin(), keyed.end(),
              [&](const keyed_entry& x, const keyed_entry& y) {
                return compare_keys(x.key, entries[x.index].name, y.key,
                                    entries[y.index].name) < 0;
              });
    order.reserve(keyed.size());
    for (const keyed_entry& k : keyed) {
      order.push_back(k.index);
    }
  }  // the keys go before the entries move
  apply_order(entries, order);
}

}  // namespace qp
