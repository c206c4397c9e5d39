// A message that does not go into the target whole is cut back, and the
// target goes on from there. A file size limit stands in for a full disk:
// writes past it fail (with SIGXFSZ ignored, as the program does).
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "collect/collection.h"
#include "config/settings.h"
#include "pack/locked_file.h"
#include "pack/target.h"
#include "pack/transfer.h"
#include "tests/support/scratch.h"
#include "window/events.h"

namespace qp {
namespace {

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class write_failure : public ::testing::Test {
 protected:
  void SetUp() override {
    set_default_settings();
    keep_running = true;
  }
  std::string write_source(const std::string& name, const std::string& body) {
    std::ofstream(dir_ + name, std::ios::binary)
        << "Date: Mon, 1 Jan 2001 10:00:00 +0000\nFrom: a@b\n\n"
        << body;
    return name;
  }

  testing_support::scratch_dir scratch_;
  const std::string dir_ = scratch_.path();
};

// Holds RLIMIT_FSIZE at a value for one scope, with SIGXFSZ ignored.
class file_size_limit {
 public:
  explicit file_size_limit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~file_size_limit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit saved_{};
  void (*old_handler_)(int) = nullptr;
};

TEST_F(write_failure, a_cut_back_target_continues_at_its_new_end) {
  std::string path = dir_ + "t.mbx";
  locked_file* file = open_locked(path, LOCKED_CREATE);
  ASSERT_NE(file, nullptr);
  write_bytes(file, "first\r\npartial");
  ASSERT_EQ(file_position(file), 14);
  ASSERT_TRUE(truncate_locked(file, 7));
  write_bytes(file, "second\r\n");
  EXPECT_EQ(file_position(file), 15);
  ASSERT_TRUE(close_locked(file));
  EXPECT_EQ(read_all(path), "first\r\nsecond\r\n");  // no hole of NULs
}

// The open target of path, whole messages up to size.
target_in_hand target_at(const std::string& path, locked_file* file,
                         int64_t size) {
  target_in_hand target;
  target.file = file;
  target.path = path;
  target.size = size;
  return target;
}

TEST_F(write_failure, a_short_write_is_cut_back_and_reported) {
  std::string a = dir_ + write_source("a.eml", "one\n");
  std::string b = dir_ + write_source("b.eml", std::string(5000, 'x') + "\n");
  std::string path = dir_ + "t.mbx";
  locked_file* file = open_locked(path, LOCKED_CREATE);
  ASSERT_NE(file, nullptr);
  target_in_hand target = target_at(path, file, 0);
  transfer_notes notes;
  int64_t first, second;
  {
    file_size_limit limit(1000);
    first = pack_message(target, a, notes);
    second = pack_message(target, b, notes);
  }
  close_locked(file);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, E_WRITE);
  std::string written = read_all(path);
  EXPECT_EQ(written.find("xxx"), std::string::npos);
  EXPECT_EQ(written.substr(written.size() - 5), "one\r\n");
}

// A write that fails on the message that would also cross the 2 GiB limit
// leaves no part of it behind.
TEST_F(write_failure, a_short_write_across_the_limit_is_cut_back) {
  std::string path = dir_ + "t.mbx";
  const int64_t start = target_limit - 100;
  {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, start), 0);  // sparse
    close(fd);
  }
  std::string big =
      dir_ + write_source("big.eml", std::string(500, 'x') + "\n");
  locked_file* file = open_locked(path, LOCKED_APPEND);
  ASSERT_NE(file, nullptr);
  target_in_hand target = target_at(path, file, start);
  transfer_notes notes;
  int64_t result;
  {
    file_size_limit limit(static_cast<rlim_t>(start + 50));
    result = pack_message(target, big, notes);
  }
  int64_t end = file_position(file);
  close_locked(file);
  EXPECT_EQ(result, E_WRITE);
  EXPECT_EQ(end, start);
  std::FILE* check = std::fopen(path.c_str(), "rb");
  ASSERT_NE(check, nullptr);
  std::fseek(check, 0, SEEK_END);
  EXPECT_EQ(std::ftell(check), start);
  std::fclose(check);
}

// A header written on trial that hits a full disk and then fails the check
// is a format fault: the target is as it was and takes the next message.
TEST_F(write_failure, a_rejected_header_that_hit_a_write_failure) {
  std::string bad = dir_ + "bad.eml";
  std::ofstream(bad, std::ios::binary)
      << "Subject: s\n"
      << std::string(3 * 1024 * 1024, 'v') << "\n\n";
  // Full at once, and full after part of the header went in.
  for (rlim_t room : {rlim_t{7}, rlim_t{1024 * 1024}}) {
    std::string path = dir_ + "t.mbx";
    locked_file* file = open_locked(path, LOCKED_CREATE);
    ASSERT_NE(file, nullptr);
    write_bytes(file, "first\r\n");
    ASSERT_EQ(file_position(file), 7);
    {
      file_size_limit limit(room);
      EXPECT_EQ(transfer_message(bad, file, {}), E_SOURCE_FORMAT);
    }
    EXPECT_EQ(file_position(file), 7);
    int64_t good =
        transfer_message(dir_ + write_source("a.eml", "one\n"), file, {});
    EXPECT_EQ(file_position(file), 7 + good) << room;
    ASSERT_TRUE(close_locked(file));
    std::string target = read_all(path);
    EXPECT_EQ(target.find("vvv"), std::string::npos);
    EXPECT_EQ(target.substr(target.size() - 5), "one\r\n");
  }
}

}  // namespace
}  // namespace qp
