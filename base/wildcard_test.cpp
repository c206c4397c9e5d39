#include "base/wildcard.h"

#include <gtest/gtest.h>

#include <string>

namespace qp {
namespace {

struct match_case {
  const char* pattern;
  const char* text;
  bool expected;
};

TEST(match_file_name, Table) {
  const match_case cases[] = {
      {"*.*", "README", true},  // the name gets an implied dot
      {"*.*", "a.b.c", true},
      {"*", "README", true},
      {"*", "readme.txt", false},
      {"readme", "README", true},
      {"readme", "readme.txt", false},
      {"readme.", "README", true},
      {"*ABC.*", "xabc.eml", true},
      {"*ABC.*", "ABC.txt", true},
      {"*ABC.*", "abcx.eml", false},
      {"*.eml", "A.EML", true},
      {"*.eml", "a.b.eml", true},
      {"*.eml", "a.eml.bak", false},
      {"*.tar.gz", "x.y.tar.gz", true},
      {"*.*.*", "a.b", false},
      {"a.*.c", "a.b.c", true},
      {"msg?.eml", "msg1.eml", true},
      {"msg?.eml", "msg.eml", false},
      {"msg?.eml", "msg10.eml", false},
      // The pattern gets a dot of its own, which the name's dot then meets.
      {"a?b", "a.b", false},
      {"a?b", "axb", true},
      {"*.EML", "x.eml", true},
      // Only a to z fold: Latin-1 e-acute against E-acute.
      {"\xe9.eml", "\xc9.eml", false},
      {"\xe9.EML", "\xe9.eml", true},
      // "?" takes one character of a UTF-8 name, whatever its length.
      {"caf?.eml", "caf\xc3\xa9.eml", true},
      {"caf??.eml", "caf\xc3\xa9.eml", false},
      {"?.eml", "\xe6\x97\xa5.eml", true},
      {"??.eml", "\xe6\x97\xa5.eml", false},
      {"a?b.eml",
       "a\xf0\x9f\x93\xa7"
       "b.eml",
       true},
      {"*?\xf0\x9f\x93\xa7*.eml", "mail \xf0\x9f\x93\xa7 x.eml", true},
      {"\xd0\x9f?.eml", "\xd0\x9f\xd1\x80.eml", true},
      // A stray byte is one character; a cut sequence is its bytes.
      {"caf?.eml", "caf\xe9.eml", true},
      {"caf?.eml", "caf\xe6\x97.eml", false},
      {"caf??.eml", "caf\xe6\x97.eml", true},
      // Letters beyond a to z keep their case.
      {"CAF\xc3\x89.EML", "caf\xc3\xa9.eml", false},
  };
  for (const match_case& c : cases) {
    EXPECT_EQ(match_file_name(c.pattern, c.text), c.expected)
        << c.pattern << " / " << c.text;
  }
}

TEST(match_pattern, Table) {
  const match_case cases[] = {
      {"", "", true},
      {"", "a", false},
      {"a", "", false},
      {"*", "", true},
      {"***", "anything at all", true},
      {"**a**", "xay", true},
      // "?" may take the end marker, but that never completes a match.
      {"?", "", false},
      {"?", "a", true},
      {"a?", "a", false},
      {"*?", "", false},
      {"*?", "a", true},
      {"*??", "a", false},
      {"*a?*", "xa", false},
      {"*a?*", "xab", true},
      {"?*", "a", true},
      // Literal runs: leftmost occurrence, the last one at the very end.
      {"*ab", "abab", true},
      {"*ab", "abax", false},
      {"a*b*c", "abbc", true},
      {"*a*b", "ba", false},
      {"*b?d*", "abcbxd", true},
      {"From *", "From someone", true},
      {"From *", "from someone", false},
      {"From *", "From", false},
      {"a.b", "a.b", true},
      {"a.b", "a.b.", false},
      // A "*" in the text is not taken for the pattern's wildcard.
      {"*x", "*ax", true},
      {"*foo*", "*** foo ***", true},
      // Byte 255 is a character, not the end marker.
      {"a\xff", "a", false},
      {"*\xff", "x\xff", true},
      // Message lines are bytes: "?" takes one byte of a UTF-8 sequence.
      {"caf?", "caf\xc3\xa9", false},
      {"caf??", "caf\xc3\xa9", true},
  };
  for (const match_case& c : cases) {
    EXPECT_EQ(match_pattern(c.pattern, c.text), c.expected)
        << c.pattern << " / " << c.text;
  }
}

TEST(match_pattern, LongPatternsAndTexts) {
  const std::string stars(5000, '*');
  EXPECT_TRUE(match_pattern(stars, ""));
  EXPECT_TRUE(match_pattern(stars + "x" + stars + "y", "axbyc y"));
  EXPECT_FALSE(match_pattern(stars + "x" + stars + "y", "yx"));

  std::string text(4'000'000, 'a');
  text += "needle";
  EXPECT_TRUE(match_pattern("*needle", text));
  EXPECT_TRUE(match_pattern("*ne?dle", text));
  EXPECT_TRUE(match_pattern("a*a?a*needle", text));
  EXPECT_FALSE(match_pattern("*needle?", text));
  EXPECT_FALSE(match_pattern("*b*", text));
}

}  // namespace
}  // namespace qp
