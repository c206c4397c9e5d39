#include "pack/target.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/paths.h"
#include "config/settings.h"
#include "pack/separator.h"
#include "report/report.h"
#include "tests/support/scratch.h"
#include "window/events.h"

namespace qp {
namespace {

using testing_support::read_file;
using testing_support::scratch_dir;
using testing_support::write_file;

const std::string message_text = "Date: x\nFrom: y\n\nbody\n";

std::string packed(const std::string& lf_text) {
  std::string out(fallback_from_line.substr(0, fallback_from_line.size() - 1));
  out += "\r\n";
  for (char c : lf_text) {
    if (c == '\n') {
      out += "\r\n";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

class target_test : public ::testing::Test {
 protected:
  void SetUp() override {
    keep_running = true;
    set_no_prompt(true);   // prompts answer proceed; no log is open
    forget_run_targets();  // inodes of files removed since come back
    set_default_settings();
  }
  void TearDown() override {
    keep_running = true;
    reset_report();
  }
  scratch_dir dir;
};

TEST_F(target_test, append_to_empty_existing_and_missing_files) {
  std::string empty = dir.write("empty.mbx", "");
  open_target_result opened = open_target(empty, true, pack_settings{});
  ASSERT_NE(opened.target.file, nullptr);
  EXPECT_EQ(opened.target.size, 0);
  EXPECT_TRUE(close_locked(opened.target.file));
  EXPECT_EQ(read_file(empty), "");

  std::string missing = dir.path() + "missing.mbx";
  opened = open_target(missing, true, pack_settings{});
  ASSERT_NE(opened.target.file, nullptr);
  EXPECT_EQ(opened.target.kind, KIND_NONE);
  EXPECT_TRUE(close_locked(opened.target.file));
  EXPECT_EQ(read_file(missing), "");
}

TEST_F(target_test, append_adds_a_line_end_when_the_last_byte_is_no_line_feed) {
  for (const std::string& tail : {std::string("body"), std::string("body\r")}) {
    std::string existing = packed(message_text) + tail;
    std::string path = dir.write("open.mbx", existing);
    open_target_result opened = open_target(path, true, pack_settings{});
    ASSERT_NE(opened.target.file, nullptr);
    EXPECT_EQ(opened.target.size, static_cast<int64_t>(existing.size()) + 2);
    EXPECT_TRUE(close_locked(opened.target.file));
    EXPECT_EQ(read_file(path), existing + "\r\n");
  }
}

TEST_F(target_test, a_plain_message_is_no_target) {
  std::string plain = "From: someone\nDate: x\n\nbody\n";
  std::string path = dir.write("plain.mbx", plain);
  open_target_result opened = open_target(path, true, pack_settings{});
  EXPECT_EQ(opened.target.file, nullptr);
  EXPECT_EQ(opened.code, E_TARGET_FORMAT);
  EXPECT_EQ(read_file(path), plain);
  EXPECT_EQ(check_target(dir.write("sep-only.mbx", "From x\n")),
            E_TARGET_FORMAT);
  EXPECT_EQ(check_target(dir.write("good.mbx", packed(message_text))), 0);
}

TEST_F(target_test, cancel_during_the_target_check_is_no_verdict) {
  std::string path = dir.write("good.mbx", packed(message_text));
  keep_running = false;
  EXPECT_EQ(check_target(path), E_ABORTED);
  EXPECT_EQ(open_target(path, true, pack_settings{}).code, E_ABORTED);
}

void stop_once_told(uint64_t) {
  request_stop();
}

TEST_F(target_test, a_stop_while_old_content_is_read_leaves_it_unopened) {
  std::string old;
  while (old.size() < (3u << 20)) {
    old += packed(message_text);
  }
  std::string path = dir.write("big.mbx", old);
  std::vector<message_digest> digests;
  old_content reading;
  reading.digests = &digests;
  reading.told = stop_once_told;
  open_target_result opened = open_target(path, true, pack_settings{}, reading);
  EXPECT_EQ(opened.code, E_ABORTED);
  EXPECT_EQ(opened.target.file, nullptr);
  EXPECT_EQ(read_file(path), old);
  reset_stop_flags();
  digests.clear();
  reading.told = nullptr;
  opened = open_target(path, true, pack_settings{}, reading);
  EXPECT_EQ(opened.code, 0);
  EXPECT_EQ(digests.size(), old.size() / packed(message_text).size());
  close_locked(opened.target.file);
}

TEST_F(target_test, empty_files_and_the_target_itself_are_passed_over) {
  dir.write("src/a.eml", message_text);
  std::string target = dir.write("src/box.mbx", packed(message_text));
  std::string linked = dir.path() + "src/link.mbx";
  ASSERT_EQ(symlink(target.c_str(), linked.c_str()), 0);
  open_target_result opened = open_target(target, true, pack_settings{});
  ASSERT_NE(opened.target.file, nullptr);
  const std::string src = dir.path() + "src/";
  EXPECT_EQ(judge_source(opened.target, src, "a.eml", 20), SOURCE_TRY);
  EXPECT_EQ(judge_source(opened.target, src, "empty.eml", 0), SOURCE_EMPTY);
  EXPECT_EQ(judge_source(opened.target, src, "box.mbx", 5), SOURCE_RUN_TARGET);
  EXPECT_EQ(judge_source(opened.target, src, "link.mbx", 5), SOURCE_RUN_TARGET);
  EXPECT_TRUE(close_locked(opened.target.file));
}

TEST_F(target_test, messages_go_in_and_failing_sources_leave_nothing) {
  dir.write("src/bad.eml", "just text\n");
  dir.write("src/good.eml", message_text);
  std::string path = dir.path() + "out.mbx";
  open_target_result opened = open_target(path, false, pack_settings{});
  ASSERT_NE(opened.target.file, nullptr);
  target_in_hand& target = opened.target;
  transfer_notes notes;
  EXPECT_EQ(pack_message(target, dir.path() + "src/gone.eml", notes), E_READ);
  EXPECT_EQ(pack_message(target, dir.path() + "src/bad.eml", notes),
            E_SOURCE_FORMAT);
  EXPECT_EQ(target.size, 0);
  EXPECT_EQ(pack_message(target, dir.path() + "src/good.eml", notes), 0);
  EXPECT_EQ(target.size, static_cast<int64_t>(packed(message_text).size()));
  EXPECT_TRUE(close_locked(target.file));
  EXPECT_EQ(read_file(path), packed(message_text));
}

TEST_F(target_test, a_stop_while_the_header_is_read_leaves_nothing) {
  dir.write("src/a.eml", message_text);
  std::string path = dir.path() + "out.mbx";
  open_target_result opened = open_target(path, false, pack_settings{});
  ASSERT_NE(opened.target.file, nullptr);
  keep_running = false;
  transfer_notes notes;
  EXPECT_EQ(pack_message(opened.target, dir.path() + "src/a.eml", notes),
            E_ABORTED);
  EXPECT_TRUE(close_locked(opened.target.file));
  EXPECT_EQ(read_file(path), "");
}

// The 2 GiB limit, on sparse files.
TEST_F(target_test, size_limit) {
  std::string head = packed(message_text);
  std::string at_limit = dir.write("limit.mbx", head);
  ASSERT_EQ(truncate(at_limit.c_str(), target_limit), 0);
  dir.write("src/a.eml", message_text);
  open_target_result opened = open_target(at_limit, true, pack_settings{});
  ASSERT_NE(opened.target.file, nullptr) << opened.code;
  // Sparse zeros end the file, so a line end comes first.
  EXPECT_EQ(opened.target.size, target_limit + 2);
  transfer_notes notes;
  EXPECT_EQ(pack_message(opened.target, dir.path() + "src/a.eml", notes),
            E_TOO_BIG);
  EXPECT_TRUE(close_locked(opened.target.file));
  EXPECT_EQ(file_size(at_limit),
            target_limit + 2 + static_cast<int64_t>(head.size()));

  std::string over = dir.write("over.mbx", head);
  ASSERT_EQ(truncate(over.c_str(), target_limit + 1), 0);
  opened = open_target(over, true, pack_settings{});
  EXPECT_EQ(opened.code, E_TOO_BIG);
  EXPECT_EQ(file_size(over), target_limit + 1);
}

// Runs fn in a child process and returns its exit status.
template <typename Fn>
int in_child(Fn fn) {
  pid_t pid = fork();
  if (pid == 0) {
    _exit(fn());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(target_test, an_open_target_is_locked_against_other_processes) {
  std::string path = dir.path() + "locked.mbx";
  open_target_result opened = open_target(path, false, pack_settings{});
  ASSERT_NE(opened.target.file, nullptr);
  int status = in_child([&] {
    int fd = open(path.c_str(), O_WRONLY);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return fcntl(fd, F_SETLK, &lock) == 0 ? 0 : 1;
  });
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(close_locked(opened.target.file));
}

TEST_F(target_test, a_target_held_by_another_writer_is_not_emptied) {
  std::string existing = packed(message_text);
  std::string path = dir.write("held.mbx", existing);
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open(path.c_str(), O_WRONLY);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    fcntl(fd, F_SETLK, &lock);
    char c = 1;
    (void)!write(ready[1], &c, 1);
    (void)!read(done[0], &c, 1);
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  open_target_result opened = open_target(path, false, pack_settings{});
  EXPECT_EQ(opened.code, E_CREATE);
  EXPECT_EQ(read_file(path), existing);
  EXPECT_EQ(open_target(path, true, pack_settings{}).code, E_APPEND);
  (void)!write(done[1], &c, 1);
  waitpid(pid, nullptr, 0);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) {
    close(fd);
  }
}

}  // namespace
}  // namespace qp
