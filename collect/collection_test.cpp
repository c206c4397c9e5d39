#include "collect/collection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qp {
namespace {

struct file_row {
  std::string name;
  uint64_t size;
};

struct group_row {
  std::string relative_directory;
  std::vector<file_row> files;
};

// Many names of every length up to a long one, so that records cross
// blocks at every offset; sizes up to the largest.
std::vector<file_row> many_files(size_t count) {
  std::vector<file_row> files;
  for (size_t i = 0; i < count; ++i) {
    std::string name = std::to_string(i) + std::string(i % 700, 'n');
    files.push_back({name, i % 3 == 0 ? UINT64_MAX - i : i * 131});
  }
  return files;
}

TEST(collection, GroupsReadBackAsAdded) {
  const std::vector<group_row> rows = {
      {"", {{"a.eml", 1}}},
      {"x/", many_files(3000)},
      {std::string(200000, 'd') + "/", {{"deep.eml", 0}, {"\xc3\xa9", 7}}},
      {"y/", many_files(5)},
      {"z/", {{"only", uint64_t(1) << 40}}},
  };
  collection_list list;
  uint64_t total = 0;
  for (const group_row& row : rows) {
    std::vector<source_entry> files;
    for (const file_row& file : row.files) {
      files.push_back({file.name, file.size});
      total += file.size;
    }
    add_group(list, row.relative_directory, files);
  }
  collection_list moved = std::move(list);  // the names stay where they are
  ASSERT_EQ(moved.groups.size(), rows.size());
  EXPECT_EQ(moved.total_bytes, total);
  for (size_t g = 0; g < rows.size(); ++g) {
    const source_group& group = moved.groups[g];
    EXPECT_EQ(group.relative_directory, rows[g].relative_directory) << g;
    EXPECT_EQ(group.name, rows[g].relative_directory) << g;
    ASSERT_EQ(group.files.size(), rows[g].files.size()) << g;
    uint64_t bytes = 0;
    size_t i = 0;
    for (const source_entry& entry : group.files) {
      ASSERT_LT(i, rows[g].files.size());
      EXPECT_EQ(entry.name, rows[g].files[i].name) << g << "/" << i;
      EXPECT_EQ(entry.size, rows[g].files[i].size) << g << "/" << i;
      bytes += entry.size;
      ++i;
    }
    EXPECT_EQ(i, rows[g].files.size()) << g;
    EXPECT_EQ(group.bytes, bytes) << g;
  }
}

TEST(collection, AddGroupGivesItsFiles) {
  collection_list list;
  source_files files = add_group(list, "a/", {{"one", 1}, {"two", 2}});
  std::string names;
  for (const source_entry& entry : files) {
    names.append(entry.name).append(":").append(std::to_string(entry.size));
  }
  EXPECT_EQ(names, "one:1two:2");
  EXPECT_EQ(list.total_bytes, 3u);
  EXPECT_TRUE(source_files().empty());
  EXPECT_FALSE(source_files().begin() != source_files().end());
}

}  // namespace
}  // namespace qp
