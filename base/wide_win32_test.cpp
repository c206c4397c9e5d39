// The edge of the wide services, against the real system.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/wide_win32.h"
#include "tests/support/scratch.h"

namespace qp {
namespace {

using testing_support::scratch_dir;

// Creates a file of the given UTF-16 name in directory, holding "x".
bool create_wide_file(const std::string& directory, const std::wstring& name) {
  const std::wstring path = system_path(directory) + name;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  DWORD written = 0;
  const bool ok = WriteFile(file, "x", 1, &written, nullptr) && written == 1;
  CloseHandle(file);
  return ok;
}

bool opens(const std::string& path) {
  std::FILE* file = open_regular_file(path);
  if (file) {
    std::fclose(file);
  }
  return file != nullptr;
}

struct system_path_case {
  const char* path;
  const wchar_t* expected;
};

TEST(wide_win32, SystemPathsAreFullAndPrefixed) {
  const system_path_case cases[] = {
      {"c:\\mail\\a.eml", L"\\\\?\\c:\\mail\\a.eml"},
      {"c:\\mail\\..\\x\\.\\a.eml", L"\\\\?\\c:\\x\\a.eml"},
      {"c:/mail/a.eml", L"\\\\?\\c:\\mail\\a.eml"},
      {"\\\\server\\share\\a", L"\\\\?\\UNC\\server\\share\\a"},
      {"\\\\?\\c:\\a\\..\\b", L"\\\\?\\c:\\a\\..\\b"},
      {"c:\\nul", L"c:\\nul"},  // a device goes as given
      {"c:\\\xd0\x9f\\\xf0\x9f\x93\xa7", L"\\\\?\\c:\\\u041f\\\U0001F4E7"},
  };
  for (const system_path_case& c : cases) {
    EXPECT_EQ(system_path(c.path), c.expected) << c.path;
  }
  const std::wstring relative = system_path("a.eml");
  EXPECT_EQ(relative.rfind(L"\\\\?\\", 0), 0u);
  EXPECT_EQ(narrow(relative.substr(4)), current_directory() + "a.eml");
}

// A lone surrogate is a legal unit of a name on NTFS: the listing hands it
// on in a form that opens the same file again.
TEST(wide_win32, NamesOfInvalidUtf16StillOpen) {
  scratch_dir dir;
  const std::wstring lone = std::wstring(L"lone ") + wchar_t(0xD83D) + L".eml";
  if (!create_wide_file(dir.path(), lone)) {
    GTEST_SKIP() << "the file system takes no lone surrogate";
  }
  std::vector<listing_entry> entries;
  ASSERT_TRUE(platform_listing(dir.path() + "*.eml", entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(wide(entries[0].name), lone);
  EXPECT_TRUE(opens(dir.path() + entries[0].name));
}

// Names in any script, at depths past the old limit of 260 characters.
TEST(wide_win32, NamesInAnyScriptAndLongPaths) {
  scratch_dir dir;
  std::string deep = dir.path();
  while (deep.size() < 600) {
    deep +=
        "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82 "
        "\xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x93\xa7\\";
  }
  ASSERT_EQ(create_directory_tree(deep), 0);
  EXPECT_EQ(path_kind(deep), KIND_DIRECTORY);
  const std::wstring name = L"caf\u00e9 \u65e5.eml";
  ASSERT_TRUE(create_wide_file(deep, name));
  std::vector<listing_entry> entries;
  ASSERT_TRUE(list_directory(deep + "*.*", entries));
  ASSERT_EQ(entries.size(), 3u);  // ".", ".." and the file
  EXPECT_EQ(entries[2].name, "caf\xc3\xa9 \xe6\x97\xa5.eml");
  EXPECT_TRUE(opens(deep + entries[2].name));
  EXPECT_EQ(file_size(deep + entries[2].name), 1);
  EXPECT_EQ(long_path(deep), deep);
  EXPECT_EQ(full_path(deep + "x\\..\\"), deep);
}

// Text from a file that is not UTF-8 names no other file: the stray byte
// reaches the system as U+FFFD, and the open fails.
TEST(wide_win32, InvalidUtf8NamesNoOtherFile) {
  scratch_dir dir;
  ASSERT_TRUE(create_wide_file(dir.path(), L"caf\u00e9.eml"));
  EXPECT_TRUE(opens(dir.path() + "caf\xc3\xa9.eml"));
  EXPECT_FALSE(opens(dir.path() + "caf\xe9.eml"));
  EXPECT_EQ(wide("caf\xe9.eml"), L"caf\uFFFD.eml");
}

}  // namespace
}  // namespace qp
