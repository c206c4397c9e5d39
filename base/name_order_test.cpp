#include "base/name_order.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace qp {
namespace {

// Names in the listing order, one row a name. Rows that differ only in
// letter case are equal under the key and follow in byte order.
const char* const ordered_names[] = {
    "Abc",
    "abc",
    "abd",
    "B",
    "b",
    "e",
    "I",
    "i",
    "\xc4\xb1",  // dotless i: its upper case is I
    "\xc5\xbf",  // long s: its upper case is S
    "ss",
    "z",
    "_",         // after the letters, as upper-cased units
    "\xc2\xb6",  // pilcrow U+00B6, no case
    "\xc3\x89",  // E acute, capital first
    "\xc3\xa9",  // e acute
    "\xc3\x9f",  // sharp s: no simple upper case
    "\xc2\xb5",  // micro sign: upper case U+039C
    "\xcf\x88",  // psi: upper case U+03A8
    "\xce\xa9",  // capital omega U+03A9
    "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82",
    "\xe6\x97\xa5\xe6\x9c\xac",
    "\xf0\x90\x90\x80x",  // Deseret capital: units D801 DC00
    "\xf0\x90\x90\xa8",   // Deseret small: stays D801 DC28
    "\xf0\x9f\x93\xa7",   // an emoji's units D83D DCE7 ...
    "\xef\xbc\xa1",       // ... come before U+FF21, fullwidth A
    "\xef\xbd\x81",       // fullwidth a
    // Not UTF-8: last, in byte order.
    "caf\xe9",
    "\xed\xa0\xbd",  // an encoded lone surrogate
    "\xff",
};

TEST(name_order, EveryPairInTableOrder) {
  const size_t count = sizeof ordered_names / sizeof ordered_names[0];
  for (size_t i = 0; i < count; ++i) {
    for (size_t j = 0; j < count; ++j) {
      EXPECT_EQ(name_before(ordered_names[i], ordered_names[j]), i < j)
          << i << " / " << j;
    }
  }
}

TEST(name_order, SortListingRestoresTheTable) {
  std::vector<listing_entry> entries;
  for (const char* name : ordered_names) {
    listing_entry entry;
    entry.name = name;
    entry.size = entries.size();
    entries.insert(entries.begin() + entries.size() / 2, entry);
  }
  sort_listing(entries);
  ASSERT_EQ(entries.size(), sizeof ordered_names / sizeof ordered_names[0]);
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].name, ordered_names[i]);
    EXPECT_EQ(entries[i].size, i);  // the entry moves whole
  }
}

// Permutations of many cycles: the entries move in place along them.
TEST(name_order, SortListingUndoesEveryPermutation) {
  const size_t count = sizeof ordered_names / sizeof ordered_names[0];
  const size_t steps[] = {1, 7, 11, 13, count - 1};  // i goes to i * step
  for (size_t step : steps) {
    ASSERT_EQ(std::gcd(step, count), 1u) << step;  // a permutation
    std::vector<listing_entry> entries(count);
    for (size_t i = 0; i < count; ++i) {
      listing_entry& entry = entries[(i * step + step / 2) % count];
      entry.name = ordered_names[i];
      entry.size = i;
    }
    sort_listing(entries);
    for (size_t i = 0; i < count; ++i) {
      EXPECT_EQ(entries[i].size, i) << step;
    }
  }
}

TEST(name_order, TableIsSortedAndStaysInThePlane) {
  ASSERT_GT(upper_table_size, 1000u);
  for (size_t i = 1; i < upper_table_size; ++i) {
    EXPECT_LT(upper_table[i - 1].from, upper_table[i].from);
  }
  EXPECT_EQ(upper_unit(u'a'), u'A');
  EXPECT_EQ(upper_unit(u'\u00ff'), u'\u0178');
  EXPECT_EQ(upper_unit(u'\u0101'), u'\u0100');
  EXPECT_EQ(upper_unit(u'\u00df'), u'\u00df');
  EXPECT_EQ(upper_unit(u'\u1e9e'), u'\u1e9e');
  EXPECT_EQ(upper_unit(char16_t(0xD801)), char16_t(0xD801));
}

}  // namespace
}  // namespace qp
