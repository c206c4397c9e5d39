#include "base/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace qp {
namespace {

struct to_utf16_case {
  const char* text;
  std::u16string units;
};

// Text from a file may hold any bytes; each stray byte is one U+FFFD.
TEST(utf8_to_utf16, Table) {
  const to_utf16_case cases[] = {
      {"", u""},
      {"plain.eml", u"plain.eml"},
      {"caf\xc3\xa9", u"caf\u00e9"},
      {"\xe6\x97\xa5", u"\u65e5"},
      {"\xf0\x9f\x93\xa7", u"\U0001F4E7"},
      {"caf\xe9", u"caf\uFFFD"},                // Latin-1, not UTF-8
      {"\xc0\xaf", u"\uFFFD\uFFFD"},            // overlong "/"
      {"\xe0\x80\xaf", u"\uFFFD\uFFFD\uFFFD"},  // overlong, three bytes
      {"\xf4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
      {"\xe6\x97", u"\uFFFD\uFFFD"},    // cut short at the end
      {"\xe6\x97x", u"\uFFFD\uFFFDx"},  // cut short inside
      {"\x80x\xbf", u"\uFFFDx\uFFFD"},  // lone continuation bytes
      {"\xff\xfe", u"\uFFFD\uFFFD"},
      // An encoded surrogate comes back as the lone unit it stands for.
      {"\xed\xa0\x80", std::u16string(1, char16_t(0xD800))},
      {"a\xed\xbf\xbf", u"a" + std::u16string(1, char16_t(0xDFFF))},
  };
  for (const to_utf16_case& c : cases) {
    EXPECT_EQ(utf8_to_utf16(c.text), c.units) << c.text;
  }
}

struct to_utf8_case {
  std::u16string units;
  const char* text;
};

// Names from the system may hold lone surrogates; they survive the round
// trip, so that such a file can still be opened.
TEST(utf16_to_utf8, Table) {
  const char16_t high = 0xD83D, low = 0xDCE7;
  const to_utf8_case cases[] = {
      {u"", ""},
      {u"\u041f\u0440\u0438\u0432\u0435\u0442",
       "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82"},
      {std::u16string{high, low}, "\xf0\x9f\x93\xa7"},
      {std::u16string{high}, "\xed\xa0\xbd"},
      {std::u16string{low}, "\xed\xb3\xa7"},
      {std::u16string{low, high}, "\xed\xb3\xa7\xed\xa0\xbd"},
      {std::u16string{u'a', high, u'b'},
       "a\xed\xa0\xbd"
       "b"},
      {u"\uFFFF\u0080", "\xef\xbf\xbf\xc2\x80"},
  };
  for (const to_utf8_case& c : cases) {
    const std::string text = utf16_to_utf8(c.units);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(utf8_to_utf16(text), c.units) << c.text;
  }
}

TEST(is_valid_utf8, SurrogatesAndStrayBytesAreNot) {
  EXPECT_TRUE(is_valid_utf8(""));
  EXPECT_TRUE(is_valid_utf8("caf\xc3\xa9 \xf0\x9f\x93\xa7 \xef\xbf\xbf"));
  EXPECT_FALSE(is_valid_utf8("caf\xe9"));
  EXPECT_FALSE(is_valid_utf8("\xed\xa0\xbd"));
  EXPECT_FALSE(is_valid_utf8("\xf0\x9f\x93"));
  EXPECT_FALSE(is_valid_utf8("\xc1\xbf"));
}

}  // namespace
}  // namespace qp
