#include <gtest/gtest.h>

#include "base/name_text.h"

namespace qp {
namespace {

// Names are bytes on POSIX: a value is used as it stands.
TEST(name_text_posix, ValuesStayBytes) {
  for (const char* value : {"", ".mbx", ".b\xF3x", ".b\xC3\xB3x", "\xFF"}) {
    EXPECT_EQ(name_text(value), value);
  }
}

}  // namespace
}  // namespace qp
