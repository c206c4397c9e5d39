#include <gtest/gtest.h>

#include <string>

#include "base/name_text.h"

namespace qp {
namespace {

struct name_text_case {
  const char* value;
  const char* text;
};

// A value that is not UTF-8 is read in the legacy code page (1252 here, as
// the system locale of the test prefix says); UTF-8 stays as it is.
TEST(name_text_win32, Table) {
  const name_text_case cases[] = {
      {"", ""},
      {".mbx", ".mbx"},
      {".b\xF3x", ".b\xC3\xB3x"},
      {"\xE4mb \x80", "\xC3\xA4mb \xE2\x82\xAC"},
      {".b\xC3\xB3x", ".b\xC3\xB3x"},
      {"\xD0\x9F\xD1\x80", "\xD0\x9F\xD1\x80"},
  };
  for (const name_text_case& c : cases) {
    EXPECT_EQ(name_text(c.value), c.text) << c.value;
  }
}

}  // namespace
}  // namespace qp
