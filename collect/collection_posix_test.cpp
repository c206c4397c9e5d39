#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/paths.h"
#include "collect/collection.h"
#include "report/report.h"
#include "tests/support/scratch.h"
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

class collection_posix : public ::testing::Test {
 protected:
  void SetUp() override {
    keep_running = true;
  }
  void TearDown() override {
    keep_running = true;
  }
  // Creates the file and its missing directories.
  void write(const std::string& relative, const std::string& content) {
    scratch_.write(relative, content);
  }
  testing_support::scratch_dir scratch_;
  const std::string root_ = scratch_.path();
};

TEST_F(collection_posix, DepthFirstGroupsInNameOrder) {
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
  // x/loop leads to x/z, which is walked there, first in name order, and
  // passed over under its own name; x/z/up leads back to x.
  EXPECT_EQ(describe(all),
            ":3: a.eml b.eml\n"
            "x/:3: m.eml\n"
            "x/loop/:4: m.eml\n"
            "y/:5: .hidden.eml\n"
            "z/k/:6: m.eml\n");
  EXPECT_EQ(all.total_bytes, 21u);

  const collection_list flat = collect_sources(root_, "*.eml", false);
  EXPECT_EQ(describe(flat), ":3: a.eml b.eml\n");

  const collection_list one =
      collect_sources(root_.substr(0, root_.size() - 1), "M.EML", true);
  EXPECT_EQ(one.root, root_);
  EXPECT_EQ(one.groups.size(), 3u);
}

// A folder reached under a second name (a linked folder) is walked once,
// under the first name in walk order; a file reached so (a hard link, a
// symbolic link) is noted for the packing, which takes it once.
TEST_F(collection_posix, EachFileAndFolderOnce) {
  write("a/m1.eml", "1");
  write("a/m2.eml", "22");
  write("b/m3.eml", "333");
  ASSERT_EQ(link((root_ + "a/m1.eml").c_str(), (root_ + "b/hard.eml").c_str()),
            0);
  ASSERT_EQ(symlink("../a/m2.eml", (root_ + "b/soft.eml").c_str()), 0);
  ASSERT_EQ(symlink("a", (root_ + "c").c_str()), 0);
  ASSERT_EQ(symlink("../b", (root_ + "b/again").c_str()), 0);
  const collection_list list = collect_sources(root_, "*.eml", true);
  EXPECT_EQ(describe(list),
            "a/:3: m1.eml m2.eml\nb/:6: hard.eml m3.eml soft.eml\n");
  struct stat m1, m2;
  ASSERT_EQ(stat((root_ + "a/m1.eml").c_str(), &m1), 0);
  ASSERT_EQ(stat((root_ + "a/m2.eml").c_str(), &m2), 0);
  const std::vector<node_identity> shared = list.shared_files;
  ASSERT_EQ(shared.size(), 2u);
  for (const struct stat& st : {m1, m2}) {
    EXPECT_TRUE(
        std::binary_search(shared.begin(), shared.end(),
                           node_identity{static_cast<uint64_t>(st.st_dev),
                                         static_cast<uint64_t>(st.st_ino)}));
  }
}

// A folder that cannot be listed for a reason other than permission (here
// no descriptor is left) is reported and counted, not passed over in
// silence.
TEST_F(collection_posix, FolderThatCannotBeListedIsCounted) {
  write("a.eml", "1");
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  struct rlimit tight = saved;
  tight.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 256);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  std::vector<int> taken;  // every descriptor left
  for (int fd; (fd = open("/dev/null", O_RDONLY)) >= 0;) {
    taken.push_back(fd);
  }
  set_no_prompt(true);  // the question is written to the log, not asked
  const collection_list list = collect_sources(root_, "*.eml", true);
  for (int fd : taken) {
    close(fd);
  }
  setrlimit(RLIMIT_NOFILE, &saved);
  reset_report();
  EXPECT_TRUE(list.groups.empty());
  EXPECT_EQ(list.unreadable_folders, 1);
}

TEST_F(collection_posix, CancelledWalkCollectsNothing) {
  write("a.eml", "1");
  keep_running = false;
  EXPECT_TRUE(collect_sources(root_, "*.*", true).groups.empty());
}

TEST_F(collection_posix, MissingRootGivesNothing) {
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

TEST_F(collection_posix, UnreadableDirectoryIsSkipped) {
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
