#include "log/outside_text.h"

#include <gtest/gtest.h>

#include <string>

namespace qp {
namespace {

struct escape_case {
  const char* text;
  const char* shown;
};

TEST(outside_text, controls_and_broken_utf8_become_hex_escapes) {
  const escape_case cases[] = {
      {"plain name.eml", "plain name.eml"},
      {"back\\slash", "back\\slash"},
      {"\x1b[31mred", "\\x1B[31mred"},
      {"cr\rlf\ntab\t", "cr\\x0Dlf\\x0Atab\\x09"},
      {"del\x7f", "del\\x7F"},
      {"c1 \xc2\x85 nel", "c1 \\xC2\\x85 nel"},
      {"nbsp \xc2\xa0 ok", "nbsp \xc2\xa0 ok"},
      {"caf\xc3\xa9 \xce\xb1 \xe2\x82\xac \xf0\x9f\x93\xa7",
       "caf\xc3\xa9 \xce\xb1 \xe2\x82\xac \xf0\x9f\x93\xa7"},
      {"latin1 caf\xe9", "latin1 caf\\xE9"},
      {"stray \x80\xbf", "stray \\x80\\xBF"},
      {"overlong \xc0\xaf", "overlong \\xC0\\xAF"},
      {"surrogate \xed\xa0\x80", "surrogate \\xED\\xA0\\x80"},
      {"cut \xe2\x82", "cut \\xE2\\x82"},
      {"too big \xf4\x90\x80\x80", "too big \\xF4\\x90\\x80\\x80"},
  };
  for (const escape_case& c : cases) {
    EXPECT_EQ(escape_outside_text(c.text), c.shown) << c.text;
  }
  EXPECT_EQ(escape_outside_text(std::string("nul\0x", 5)), "nul\\x00x");
}

TEST(outside_text, cuts_fall_on_character_boundaries) {
  const std::string text = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x93\xa7z";
  EXPECT_EQ(character_count(text), 5u);
  EXPECT_EQ(first_characters(text, 0), "");
  EXPECT_EQ(first_characters(text, 2), "a\xc3\xa9");
  EXPECT_EQ(first_characters(text, 4), "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x93\xa7");
  EXPECT_EQ(first_characters(text, 9), text);
}

}  // namespace
}  // namespace qp
