#include "collect/system_files.h"

#include <gtest/gtest.h>

#include <string>

namespace qp {
namespace {

TEST(system_files, NamesInAnyLetterCase) {
  const struct {
    const char* name;
    bool system;
  } rows[] = {
      {"Thumbs.db", true},
      {"THUMBS.DB", true},
      {"ehthumbs.db", true},
      {"desktop.ini", true},
      {"Desktop.INI", true},
      {".DS_Store", true},
      {".ds_store", true},
      {"Thumbs.db.eml", false},
      {"Thumbs", false},
      {"xThumbs.db", false},
      {"", false},
      {"._one.eml", false},
      // Beside a Maildir's messages.
      {"dovecot-uidlist", true},
      {"dovecot.index.log", true},
      {"courierimapuiddb", true},
      {"maildirfolder", true},
      {"Subscriptions", true},
      {"dovecote.eml", false},
      {"courier.eml", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(is_system_file_name(row.name), row.system) << row.name;
  }
}

TEST(system_files, AppleDoubleNeedsTheNameAndTheSignature) {
  EXPECT_TRUE(is_apple_double_name("._one.eml"));
  EXPECT_TRUE(is_apple_double_name("._x"));
  EXPECT_TRUE(is_apple_double_name("._"));
  EXPECT_FALSE(is_apple_double_name("_.one"));
  EXPECT_FALSE(is_apple_double_name(".one"));
  const char signature[] = {'\x00', '\x05', '\x16', '\x07', 'x'};
  EXPECT_TRUE(has_apple_double_signature(signature, 4));
  EXPECT_TRUE(has_apple_double_signature(signature, 5));
  EXPECT_FALSE(has_apple_double_signature(signature, 3));
  const char other[] = {'\x00', '\x05', '\x16', '\x00'};
  EXPECT_FALSE(has_apple_double_signature(other, 4));
  EXPECT_FALSE(has_apple_double_signature("From", 4));
}

TEST(system_files, AnyComponentOfTheDirectory) {
  const struct {
    const char* directory;
    path_style style;
    bool system;
  } rows[] = {
      {"", posix_style, false},
      {"__MACOSX/", posix_style, true},
      {"a/__macosx/b/", posix_style, true},
      {"a/b/.Trashes/", posix_style, true},
      {"System Volume Information/", posix_style, true},
      {"$Recycle.Bin\\S-1\\", windows_style, true},
      {"a\\.fseventsd\\", windows_style, true},
      {".Spotlight-V100/", posix_style, true},
      {"__MACOSX2/", posix_style, false},
      {"x__MACOSX/", posix_style, false},
      {"a\\__MACOSX/", posix_style, false},  // one name on POSIX
      {"mail/2001/", posix_style, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(is_in_system_folder(row.directory, row.style), row.system)
        << row.directory;
  }
}

}  // namespace
}  // namespace qp
