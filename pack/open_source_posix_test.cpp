// A source opens only when it is a regular file: what took a listed file's
// place after the listing (a FIFO, a device, a directory) is a read error,
// never a wait.
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "pack/transfer.h"
#include "tests/support/scratch.h"

namespace qp {
namespace {

TEST(open_source, takes_regular_files_only) {
  testing_support::scratch_dir scratch;
  // Without its final separator, as the names below begin with one.
  const std::string dir = scratch.path().substr(0, scratch.path().size() - 1);
  scratch.write("file", "Date: x\n");
  ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink("/dev/zero", (dir + "/device").c_str()), 0);
  ASSERT_EQ(mkdir((dir + "/directory").c_str(), 0700), 0);

  source_file* file = open_source(dir + "/file");
  EXPECT_NE(file, nullptr);
  close_source(file);
  for (const char* name : {"/fifo", "/device", "/directory", "/missing"}) {
    EXPECT_EQ(open_source(dir + name), nullptr) << name;
  }
}

}  // namespace
}  // namespace qp
