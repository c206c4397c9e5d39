#include "base/paths.h"

#include <gtest/gtest.h>

#include <string>

namespace qp {
namespace {

struct split_case {
  path_style style;
  const char* path;
  int separator;
  const char* directory;  // directory_part
  const char* name;       // name_part
  const char* file_dir;   // file_directory
  const char* file;       // file_name
};

TEST(path_rules, SplitTable) {
  const path_style w = windows_style;
  const path_style p = posix_style;
  const split_case cases[] = {
      {w, "c:\\mail\\*.eml", 8, "c:\\mail\\", "*.eml", "c:\\mail\\", "*.eml"},
      {w, "c:\\mail\\", 8, "c:\\mail\\", "", "c:\\mail\\", ""},
      {w, "c:\\mail", 3, "c:\\", "mail", "c:\\", "mail"},
      {w, "c:", 2, "c:", "", "c:", ""},
      {w, "c:x.eml", 2, "c:", "x.eml", "c:", "x.eml"},
      {w, "*.eml", 0, "", "*.eml", "", "*.eml"},
      {w, "c:\\mail\\..", 8, "c:\\mail\\..\\", "", "c:\\mail\\", ".."},
      {w, "c:\\mail\\.x", 8, "c:\\mail\\.x\\", "", "c:\\mail\\", ".x"},
      {w, "", 0, "", "", "", ""},
      {p, "/mail/*.eml", 6, "/mail/", "*.eml", "/mail/", "*.eml"},
      {p, "/mail/", 6, "/mail/", "", "/mail/", ""},
      {p, "/mail", 1, "/", "mail", "/", "mail"},
      {p, "/", 1, "/", "", "/", ""},
      // A colon is an ordinary character on POSIX.
      {p, "c:x.eml", 0, "", "c:x.eml", "", "c:x.eml"},
      {p, "/mail/..", 6, "/mail/../", "", "/mail/", ".."},
      {p, "/mail/.inbox", 6, "/mail/.inbox/", "", "/mail/", ".inbox"},
      {p, "/a\\b", 1, "/", "a\\b", "/", "a\\b"},
  };
  for (const split_case& c : cases) {
    const std::string path = c.path;
    EXPECT_EQ(last_separator(path, c.style), c.separator) << path;
    EXPECT_EQ(directory_part(path, c.style), c.directory) << path;
    EXPECT_EQ(name_part(path, c.style), c.name) << path;
    EXPECT_EQ(file_directory(path, c.style), c.file_dir) << path;
    EXPECT_EQ(file_name(path, c.style), c.file) << path;
  }
}

TEST(path_rules, BadFileNameChars) {
  EXPECT_EQ(bad_file_name_chars("a?b*c?"), "?*");
  EXPECT_EQ(bad_file_name_chars(".mbx"), "");
  EXPECT_EQ(bad_file_name_chars("|><*?\\/\":|"), "|><*?\\/\":");
}

TEST(path_rules, TrimAndAsciiCase) {
  EXPECT_EQ(trim(" \t\r\nkey = v \r\n", " \t\r\n"), "key = v");
  EXPECT_EQ(trim(" \t\r\n", " \t\r\n"), "");
  EXPECT_EQ(trim_left("..mbx.", "."), "mbx.");
  EXPECT_EQ(trim_right("c:\\", ":\\"), "c");
  EXPECT_EQ(trim_right("/", "/"), "");
  EXPECT_EQ(ascii_upper("az-AZ\xe9\xff"), "AZ-AZ\xe9\xff");
  EXPECT_EQ(ascii_lower("AZ-az\xc9"), "az-az\xc9");
  EXPECT_TRUE(has_wildcard("/a/?"));
  EXPECT_FALSE(has_wildcard("/a/b"));
}

struct prefix_case {
  const char* full;
  const char* prefixed;
};

TEST(path_rules, LongPrefixTable) {
  const prefix_case cases[] = {
      {"c:\\mail\\a.eml", "\\\\?\\c:\\mail\\a.eml"},
      {"Z:\\", "\\\\?\\Z:\\"},
      {"\\\\server\\share\\x", "\\\\?\\UNC\\server\\share\\x"},
      // Already prefixed, a device, relative or drive-relative: unchanged.
      {"\\\\?\\c:\\x", "\\\\?\\c:\\x"},
      {"\\\\?\\UNC\\s\\x", "\\\\?\\UNC\\s\\x"},
      {"\\\\.\\nul", "\\\\.\\nul"},
      {"mail\\a.eml", "mail\\a.eml"},
      {"c:a.eml", "c:a.eml"},
      {"\\\\", "\\\\"},
      {"", ""},
  };
  for (const prefix_case& c : cases) {
    EXPECT_EQ(add_long_prefix(c.full), c.prefixed) << c.full;
    EXPECT_EQ(strip_long_prefix(add_long_prefix(c.full)),
              strip_long_prefix(c.full))
        << c.full;
  }
  EXPECT_EQ(strip_long_prefix("\\\\?\\c:\\x"), "c:\\x");
  EXPECT_EQ(strip_long_prefix("\\\\?\\UNC\\s\\x"), "\\\\s\\x");
  EXPECT_EQ(strip_long_prefix("c:\\?\\x"), "c:\\?\\x");
}

}  // namespace
}  // namespace qp
