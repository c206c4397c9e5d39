// The Windows wrappers and listing rules, run against the real system.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/paths.h"
#include "tests/support/scratch.h"

namespace qp {
namespace {

using testing_support::scratch_dir;

// A drive letter that names no drive here.
std::string missing_drive() {
  const DWORD drives = GetLogicalDrives();
  for (char letter = 'y'; letter > 'd'; --letter) {
    if ((drives & (1u << (letter - 'a'))) == 0) {
      return std::string(1, letter) + ":";
    }
  }
  return "";
}

TEST(paths_win32, DriveRootsAreDirectories) {
  EXPECT_EQ(path_kind("c:\\"), KIND_DIRECTORY);
  EXPECT_EQ(path_kind("c:"), KIND_DIRECTORY);
  EXPECT_EQ(path_kind("C:\\"), KIND_DIRECTORY);
  const std::string missing = missing_drive();
  ASSERT_FALSE(missing.empty());
  EXPECT_EQ(path_kind(missing), KIND_NONE);
  EXPECT_EQ(path_kind(missing + "\\"), KIND_NONE);

  // The root lists with its own "." in front, and none of the system's.
  std::vector<listing_entry> entries;
  ASSERT_TRUE(list_directory("c:\\", entries));
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries[0].name, ".");
  EXPECT_TRUE(entries[0].directory);
  EXPECT_EQ(entries[0].size, 0u);
  for (size_t i = 1; i < entries.size(); ++i) {
    EXPECT_NE(entries[i].name, ".");
    EXPECT_NE(entries[i].name, "..");
  }
}

TEST(paths_win32, NulProbeTellsAnExistingDrive) {
  // What the drive rule falls back on when a root lists nothing.
  std::vector<listing_entry> entries;
  EXPECT_TRUE(platform_listing("c:\\nul", entries));
  EXPECT_FALSE(platform_listing(missing_drive() + "\\nul", entries));
}

TEST(paths_win32, KindsOfFilesAndDirectories) {
  scratch_dir dir;
  const std::string base = dir.path();
  dir.write("mail\\one.eml", "x");
  const std::string mail = base + "mail";
  EXPECT_EQ(path_kind(mail), KIND_DIRECTORY);
  EXPECT_EQ(path_kind(mail + "\\"), KIND_DIRECTORY);
  EXPECT_EQ(path_kind(mail + "\\.."), KIND_DIRECTORY);
  EXPECT_EQ(path_kind(mail + "\\one.eml"), KIND_FILE);
  EXPECT_EQ(path_kind(mail + "\\ONE.EML"), KIND_FILE);
  EXPECT_EQ(path_kind(mail + "\\one.eml\\"), KIND_NONE);
  EXPECT_EQ(path_kind(mail + "\\two.eml"), KIND_NONE);
  EXPECT_EQ(path_kind(mail + "\\*.eml"), KIND_WILDCARD);
  EXPECT_EQ(path_kind(mail + "\\o?e.eml"), KIND_WILDCARD);
  EXPECT_EQ(file_size(mail + "\\one.eml"), 1);
  EXPECT_EQ(file_size(mail + "\\two.eml"), -1);

  // A subdirectory lists "." and ".." besides its files; trailing blanks
  // and backslashes name the same directory.
  std::vector<listing_entry> entries;
  ASSERT_TRUE(list_directory(mail + " \\\\", entries));
  std::vector<std::string> names;
  for (const listing_entry& e : entries) {
    names.push_back(e.name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "one.eml"}));
  EXPECT_FALSE(entries[2].directory);
  EXPECT_TRUE(entries[0].directory);
}

TEST(paths_win32, FullAndLongPaths) {
  EXPECT_EQ(full_path("c:\\mail\\.."), "c:\\");
  EXPECT_EQ(full_path("c:\\mail\\.\\inbox\\\\x.eml"), "c:\\mail\\inbox\\x.eml");
  EXPECT_EQ(full_path("c:\\mail\\"), "c:\\mail\\");
  EXPECT_EQ(full_path(""), "");
  EXPECT_EQ(full_path("x.eml"), current_directory() + "x.eml");

  const std::string missing = "c:\\no such dir\\nor this one";
  EXPECT_EQ(long_path(missing), missing);

  scratch_dir dir;
  dir.write("a long directory name\\x.eml", "x");
  const std::string long_form = dir.path() + "a long directory name";
  char short_form[MAX_PATH];
  DWORD n = GetShortPathNameA(long_form.c_str(), short_form, MAX_PATH);
  ASSERT_GT(n, 0u);
  ASSERT_NE(std::string(short_form), long_form);
  EXPECT_EQ(path_lower(long_path(short_form)), path_lower(long_form));
}

TEST(paths_win32, TempAndCurrentDirectoryEndInBackslash) {
  const std::string temp = temp_directory();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_EQ(path_kind(temp), KIND_DIRECTORY);
  const std::string cwd = current_directory();
  EXPECT_EQ(cwd.back(), '\\');
  EXPECT_EQ(path_kind(cwd), KIND_DIRECTORY);
}

// Texts and paths are UTF-8: the system's mapping of the characters, the
// same letters that code page 1252 maps; bytes that are not UTF-8 keep all
// but a to z as they are.
TEST(paths_win32, SystemCaseMappingOfUtf8Texts) {
  // Latin-1 capitals, the multiplication sign kept; S, OE, Z and Y with
  // diacritics from the 0x80 row of code page 1252.
  EXPECT_EQ(
      to_lower("ABC \u00C0\u00C9\u00D6\u00D7\u00D8\u00DE \u0160\u0152"
               "\u017D\u0178"),
      "abc \u00E0\u00E9\u00F6\u00D7\u00F8\u00FE \u0161\u0153\u017E\u00FF");
  EXPECT_EQ(
      to_upper("abc \u00E0\u00E9\u00F6\u00F7\u00F8\u00FE \u0161\u0153"
               "\u017E\u00FF"),
      "ABC \u00C0\u00C9\u00D6\u00F7\u00D8\u00DE \u0160\u0152\u017D\u0178");
  EXPECT_EQ(path_lower("C:\\MAIL\\\u00C9T\u00C9"), "c:\\mail\\\u00E9t\u00E9");
  EXPECT_EQ(path_lower("C:\\\u041F\u0420\u0418\\\u03A9"),
            "c:\\\u043F\u0440\u0438\\\u03C9");
  EXPECT_EQ(to_lower(""), "");
  EXPECT_EQ(to_lower("ABC \xC0\xC9 \x8A"), "abc \xC0\xC9 \x8A");
  EXPECT_EQ(to_upper("abc \xE0\xE9"), "ABC \xE0\xE9");
}

TEST(paths_win32, CreateDirectoryTree) {
  scratch_dir dir;
  const std::string box = dir.path() + "data\\new\\box";
  EXPECT_EQ(create_directory_tree(box), 0);
  EXPECT_EQ(path_kind(box), KIND_DIRECTORY);
  EXPECT_EQ(create_directory_tree(box + "\\"), 0);
  dir.write("file", "x");
  EXPECT_EQ(create_directory_tree(dir.path() + "file\\sub"), -1);
  EXPECT_EQ(path_kind(dir.path() + "file\\sub"), KIND_NONE);
  EXPECT_EQ(create_directory(box), -1);  // exists already
}

TEST(paths_win32, DirectoryIdentity) {
  scratch_dir dir;
  dir.write("a\\x", "x");
  uint64_t device1, inode1, device2, inode2;
  ASSERT_TRUE(directory_identity(dir.path() + "a", device1, inode1));
  ASSERT_TRUE(directory_identity(dir.path() + "A\\", device2, inode2));
  EXPECT_EQ(device1, device2);
  EXPECT_EQ(inode1, inode2);
  ASSERT_TRUE(directory_identity(dir.path(), device2, inode2));
  EXPECT_NE(inode1, inode2);
  EXPECT_FALSE(directory_identity(dir.path() + "a\\x", device1, inode1));
  EXPECT_FALSE(directory_identity(dir.path() + "b", device1, inode1));
}

TEST(paths_win32, FreeSpaceOfADriveRoot) {
  const space_info space = free_space("c:\\");
  EXPECT_GE(space.available, 0);
  const space_info none = free_space(missing_drive() + "\\");
  EXPECT_EQ(none.available, -1);
}

}  // namespace
}  // namespace qp
