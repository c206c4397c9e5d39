#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/paths.h"
#include "collect/collection.h"
#include "window/events.h"

namespace qp {
namespace {

// One line per group: "relative:bytes:name name ...".
std::string describe(const collection_list& list) {
  std::string text;
  for (const source_group& group : list.groups) {
    text.append(group.relative_directory);
    text += ":" + std::to_string(group.bytes) + ":";
    for (const source_entry& entry : group.files) {
      text.append(" ").append(entry.name);
    }
    text += "\n";
  }
  return text;
}

class CollectionPosix : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = temp_directory() + "qp_collect_XXXXXX";
    ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
    root_ = pattern + "/";
    keep_running = true;
  }
  void TearDown() override {
    std::filesystem::remove_all(root_);
    keep_running = true;
  }
  // Creates the file and its missing directories.
  void write(const std::string& relative, const std::string& content) {
    std::filesystem::path path(root_ + relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }
  std::string root_;
};

TEST_F(CollectionPosix, DepthFirstGroupsInNameOrder) {
  write("b.eml", "22");
  write("a.eml", "1");
  write("note.txt", "not collected");
  write("dir.eml/inner.txt", "");  // a directory is never a file
  write("x/m.eml", "333");
  write("x/z/m.eml", "4444");
  write("y/.hidden.eml", "55555");
  write("y/empty/readme", "");
  write("z/k/m.eml", "666666");  // z itself has no match
  ASSERT_EQ(symlink("..", (root_ + "x/z/up").c_str()), 0);
  ASSERT_EQ(symlink("z", (root_ + "x/loop").c_str()), 0);
  ASSERT_EQ(mkfifo((root_ + "fifo.eml").c_str(), 0644), 0);

  const collection_list all = collect_sources(root_, "*.eml", true);
  EXPECT_EQ(all.root, root_);
  // x/loop leads to x/z, which is not on its own path and is walked again;
  // x/z/up leads back to x and ends there.
  EXPECT_EQ(describe(all),
            ":3: a.eml b.eml\n"
            "x/:3: m.eml\n"
            "x/loop/:4: m.eml\n"
            "x/z/:4: m.eml\n"
            "y/:5: .hidden.eml\n"
            "z/k/:6: m.eml\n");
  EXPECT_EQ(all.total_bytes, 25u);

  const collection_list flat = collect_sources(root_, "*.eml", false);
  EXPECT_EQ(describe(flat), ":3: a.eml b.eml\n");

  const collection_list one =
      collect_sources(root_.substr(0, root_.size() - 1), "M.EML", true);
  EXPECT_EQ(one.root, root_);
  EXPECT_EQ(one.groups.size(), 4u);
}

TEST_F(CollectionPosix, CancelledWalkCollectsNothing) {
  write("a.eml", "1");
  keep_running = false;
  EXPECT_TRUE(collect_sources(root_, "*.*", true).groups.empty());
}

TEST_F(CollectionPosix, MissingRootGivesNothing) {
  const collection_list list = collect_sources(root_ + "gone/", "*.*", true);
  EXPECT_TRUE(list.groups.empty());
  EXPECT_EQ(list.total_bytes, 0u);
}

// Runs the walk as "nobody" in a child when the tests run as root, since
// root reads every directory whatever its mode.
bool collect_unprivileged(const std::string& root, std::string& result) {
  if (geteuid() != 0) {
    result = describe(collect_sources(root, "*.eml", true));
    return true;
  }
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) {
    return false;
  }
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_fds[0]);
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 ||
        setuid(65534) != 0 || access(root.c_str(), R_OK | X_OK) != 0) {
      _exit(77);
    }
    const std::string text = describe(collect_sources(root, "*.eml", true));
    _exit(write(pipe_fds[1], text.data(), text.size()) ==
                  static_cast<ssize_t>(text.size())
              ? 0
              : 1);
  }
  close(pipe_fds[1]);
  char buffer[4096];
  ssize_t got;
  while ((got = read(pipe_fds[0], buffer, sizeof buffer)) > 0) {
    result.append(buffer, static_cast<size_t>(got));
  }
  close(pipe_fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(CollectionPosix, UnreadableDirectoryIsSkipped) {
  write("a.eml", "1");
  write("locked/b.eml", "22");
  write("locked/deeper/c.eml", "333");
  write("open/d.eml", "4444");
  chmod(root_.c_str(), 0755);
  chmod((root_ + "locked").c_str(), 0);
  std::string result;
  const bool ran = collect_unprivileged(root_, result);
  chmod((root_ + "locked").c_str(), 0755);
  if (!ran) {
    GTEST_SKIP() << "cannot run the walk as an unprivileged user here";
  }
  EXPECT_EQ(result, ":1: a.eml\nopen/:4: d.eml\n");
}

TEST(CollectionNames, DeriveSourceParts) {
  source_parts parts = derive_source_parts("/Mail/Inbox/*.eml");
  EXPECT_EQ(parts.source_directory, "/Mail/Inbox/");
  EXPECT_EQ(parts.source_folder_name, "Inbox");
  EXPECT_EQ(parts.name_pattern, "*.eml");
  // A folder whose name begins with a dot keeps it.
  parts = derive_source_parts("/mail/.inbox/*.*");
  EXPECT_EQ(parts.source_folder_name, ".inbox");
  // A colon is part of a POSIX name.
  EXPECT_EQ(derive_source_parts("/mail/a:/x").source_folder_name, "a:");
  parts = derive_source_parts("/*.eml");
  EXPECT_EQ(parts.source_directory, "/");
  EXPECT_EQ(parts.source_folder_name, "root");
}

TEST(CollectionNames, TargetPaths) {
  struct row {
    const char* relative;
    const char* plain;
    const char* with_folder_extension;
  };
  const row rows[] = {
      {"", "/data/inbox.mbx", "/data/inbox.mbx"},
      {"work/", "/data/inbox/work.mbx", "/data/inbox.sbd/work.mbx"},
      {"work/2007/", "/data/inbox/work/2007.mbx",
       "/data/inbox.sbd/work.sbd/2007.mbx"},
  };
  for (const row& r : rows) {
    EXPECT_EQ(group_target_path("/data/", "inbox", r.relative, {".mbx", ""}),
              r.plain);
    EXPECT_EQ(
        group_target_path("/data/", "inbox", r.relative, {".mbx", ".sbd"}),
        r.with_folder_extension);
  }
  EXPECT_EQ(group_target_path("/data/", "inbox", "w/", {"", ".sbd"}),
            "/data/inbox.sbd/w");
  EXPECT_EQ(single_target_path("/data/", "inbox", {"", ".sbd"}), "/data/inbox");
}

}  // namespace
}  // namespace qp
