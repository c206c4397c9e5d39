// The listing order.
#include "base/name_order.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "base/utf8.h"

namespace qp {
namespace {

// A name's key: whether it is valid UTF-8, and the upper-cased units of a
// valid name, each unit written as UTF-8 would write a code point of its
// value (a surrogate too). That form keeps the order of the units under a
// byte comparison (memcmp), which is many times faster than one of UTF-16
// strings, and an ASCII name's key is no longer than the name.
bool append_key(const std::string& name, std::string& keys) {
  if (is_ascii(name)) {
    // Most names: each byte is its own unit, and only a to z change.
    for (char c : name) {
      keys += c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
    }
    return true;
  }
  if (!is_valid_utf8(name)) {
    return false;
  }
  for (char16_t unit : utf8_to_utf16(name)) {
    const unsigned upper = upper_unit(unit);
    if (upper < 0x80) {
      keys += static_cast<char>(upper);
    } else if (upper < 0x800) {
      keys += static_cast<char>(0xC0 | (upper >> 6));
      keys += static_cast<char>(0x80 | (upper & 0x3F));
    } else {
      keys += static_cast<char>(0xE0 | (upper >> 12));
      keys += static_cast<char>(0x80 | ((upper >> 6) & 0x3F));
      keys += static_cast<char>(0x80 | (upper & 0x3F));
    }
  }
  return true;
}

// A key held in a buffer of all keys.
struct order_key {
  bool invalid;  // not valid UTF-8: after every valid name
  std::string_view units;
};

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
// small records and reads a name only on a tie. The keys of a listing sit
// in one buffer, without an allocation each.
struct keyed_entry {
  size_t key_start;
  uint32_t key_size;
  bool invalid;
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
  std::string key_a;
  std::string key_b;
  const bool valid_a = append_key(a, key_a);
  const bool valid_b = append_key(b, key_b);
  return compare_keys({!valid_a, key_a}, a, {!valid_b, key_b}, b) < 0;
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
    std::string keys;
    size_t name_bytes = 0;
    for (const listing_entry& entry : entries) {
      name_bytes += entry.name.size();
    }
    keys.reserve(name_bytes);  // the size of the keys of ASCII names
    for (size_t i = 0; i < entries.size(); ++i) {
      const size_t start = keys.size();
      const bool valid = append_key(entries[i].name, keys);
      keyed.push_back(keyed_entry{
          start, static_cast<uint32_t>(keys.size() - start), !valid, i});
    }
    auto key = [&](const keyed_entry& k) {
      return order_key{k.invalid,
                       std::string_view(keys).substr(k.key_start, k.key_size)};
    };
    std::sort(keyed.begin(), keyed.end(),
              [&](const keyed_entry& x, const keyed_entry& y) {
                return compare_keys(key(x), entries[x.index].name, key(y),
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
