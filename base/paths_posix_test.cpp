#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/paths.h"
#include "tests/support/scratch.h"

namespace qp {
namespace {

// A scratch directory, removed with everything in it.
class paths_posix : public ::testing::Test {
 protected:
  void write(const std::string& relative, const std::string& content) {
    scratch_.write(relative, content);
  }
  testing_support::scratch_dir scratch_;
  const std::string root_ = scratch_.path();
};

std::vector<std::string> names_and_kinds(
    const std::vector<listing_entry>& entries) {
  std::vector<std::string> result;
  for (const listing_entry& entry : entries) {
    result.push_back(entry.name + (entry.directory ? ":d" : ":"));
  }
  return result;
}

TEST(paths_posix_text, FullPathIsLexical) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  const std::string here =
      std::string(cwd) == "/" ? "/" : std::string(cwd) + "/";
  EXPECT_EQ(full_path("/a/./b//c/../d"), "/a/b/d");
  EXPECT_EQ(full_path("/a/b/"), "/a/b/");
  EXPECT_EQ(full_path("/a/.."), "/");
  EXPECT_EQ(full_path("/../.."), "/");
  EXPECT_EQ(full_path("x/y/"), here + "x/y/");
  EXPECT_EQ(full_path("."),
            here.size() > 1 ? here.substr(0, here.size() - 1) : here);
  EXPECT_EQ(full_path(""), "");
  EXPECT_EQ(current_directory(), here);
}

TEST(paths_posix_text, TempDirectoryEndsInSlash) {
  const char* saved = std::getenv("TMPDIR");
  const std::string old = saved != nullptr ? saved : "";
  setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(temp_directory(), "/var/tmp/");
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(temp_directory(), "/tmp/");
  if (saved != nullptr) {
    setenv("TMPDIR", old.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

TEST_F(paths_posix, ListingIsSortedAndSkipsWhatCannotBeRead) {
  write("b.eml", "bb");
  write("a.eml", "abc");
  write(".hidden", "");
  write("ro.eml", "r");
  chmod((root_ + "ro.eml").c_str(), 0444);
  mkdir((root_ + "sub").c_str(), 0755);
  ASSERT_EQ(mkfifo((root_ + "fifo.eml").c_str(), 0644), 0);
  ASSERT_EQ(symlink("missing", (root_ + "dangling.eml").c_str()), 0);
  ASSERT_EQ(symlink("sub", (root_ + "linked").c_str()), 0);

  std::vector<listing_entry> entries;
  ASSERT_TRUE(list_directory(root_, entries));
  EXPECT_EQ(names_and_kinds(entries),
            (std::vector<std::string>{
                ".:d", "..:d", ".hidden:", "a.eml:", "b.eml:", "linked:d",
                "ro.eml:", "sub:d"}));
  EXPECT_EQ(entries[3].size, 3u);
  EXPECT_EQ(entries[7].size, 0u);

  ASSERT_TRUE(list_directory(root_ + "*.EML", entries));
  EXPECT_EQ(names_and_kinds(entries),
            (std::vector<std::string>{"a.eml:", "b.eml:", "ro.eml:"}));
  ASSERT_TRUE(list_directory(root_ + "a.eml", entries));
  EXPECT_EQ(names_and_kinds(entries), (std::vector<std::string>{"a.eml:"}));
  EXPECT_FALSE(list_directory(root_ + "a.eml/", entries));
  EXPECT_FALSE(list_directory(root_ + "x*", entries));
  EXPECT_FALSE(list_directory(root_ + "fifo.eml", entries));
  EXPECT_FALSE(list_directory(root_ + "missing/", entries));
}

TEST_F(paths_posix, KindsAndSizes) {
  write("file", "12345");
  mkdir((root_ + "dir").c_str(), 0755);
  ASSERT_EQ(mkfifo((root_ + "fifo").c_str(), 0644), 0);
  ASSERT_EQ(symlink("nowhere", (root_ + "dangling").c_str()), 0);
  EXPECT_EQ(path_kind(root_ + "dir"), KIND_DIRECTORY);
  EXPECT_EQ(path_kind(root_ + "dir/"), KIND_DIRECTORY);
  EXPECT_EQ(path_kind(root_ + "file"), KIND_FILE);
  EXPECT_EQ(path_kind(root_ + "file/"), KIND_NONE);
  EXPECT_EQ(path_kind(root_ + "missing"), KIND_NONE);
  EXPECT_EQ(path_kind(root_ + "fifo"), KIND_NONE);
  EXPECT_EQ(path_kind(root_ + "dangling"), KIND_NONE);
  // "*" and "?" are characters of a name: no pattern is matched here.
  EXPECT_EQ(path_kind(root_ + "f?le"), KIND_NONE);
  EXPECT_EQ(file_size(root_ + "file"), 5);
  EXPECT_EQ(file_size(root_ + "missing"), -1);
  EXPECT_EQ(file_size(root_ + "fifo"), -1);
  // A wildcard is an ordinary character of the name here.
  EXPECT_EQ(file_size(root_ + "f?le"), -1);
  write("a*b.mbx", "12");
  write("axb.mbx", "123456789");
  EXPECT_EQ(file_size(root_ + "a*b.mbx"), 2);
}

TEST_F(paths_posix, CreateDirectoryTree) {
  EXPECT_EQ(create_directory_tree(root_ + "n1/n2/n3"), 0);
  EXPECT_EQ(path_kind(root_ + "n1/n2/n3"), KIND_DIRECTORY);
  EXPECT_EQ(create_directory_tree(root_ + "n1/n2/n3/"), 0);
  EXPECT_EQ(create_directory_tree(root_ + "n1/m2/"), 0);
  EXPECT_EQ(path_kind(root_ + "n1/m2"), KIND_DIRECTORY);

  write("file", "x");
  EXPECT_EQ(create_directory_tree(root_ + "file/a/b"), -1);
  EXPECT_EQ(create_directory_tree(root_ + "file"), -1);
  // A folder named with "*" or "?" is created under its name.
  EXPECT_EQ(create_directory_tree(root_ + "n1/a*b/q?/"), 0);
  EXPECT_EQ(path_kind(root_ + "n1/a*b/q?"), KIND_DIRECTORY);
  EXPECT_EQ(path_kind(root_ + "n1/a?b"), KIND_NONE);
}

TEST_F(paths_posix, FreeSpaceAndIdentity) {
  const space_info space = free_space(root_ + "target.mbx");
  EXPECT_GE(space.available, 0);
  const space_info none = free_space("/no/such/dir/x.mbx");
  EXPECT_EQ(none.available, -1);

  mkdir((root_ + "d").c_str(), 0755);
  ASSERT_EQ(symlink("d", (root_ + "l").c_str()), 0);
  uint64_t dev1 = 0, ino1 = 0, dev2 = 0, ino2 = 0;
  ASSERT_TRUE(directory_identity(root_ + "d/", dev1, ino1));
  ASSERT_TRUE(directory_identity(root_ + "l", dev2, ino2));
  EXPECT_EQ(dev1, dev2);
  EXPECT_EQ(ino1, ino2);
  EXPECT_FALSE(directory_identity(root_ + "missing", dev2, ino2));
}

}  // namespace
}  // namespace qp
