// A source opens only when it is a regular file: what took a listed file's
// place after the listing (a FIFO, a device, a directory) is a read error,
// never a wait.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "pack/transfer.h"

namespace qp {
namespace {

TEST(open_source, takes_regular_files_only) {
  char pattern[] = "/tmp/qp-open-source-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string dir = pattern;
  std::ofstream(dir + "/file") << "Date: x\n";
  ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink("/dev/zero", (dir + "/device").c_str()), 0);
  ASSERT_EQ(mkdir((dir + "/directory").c_str(), 0700), 0);

  source_file* file = open_source(dir + "/file");
  EXPECT_NE(file, nullptr);
  close_source(file);
  for (const char* name : {"/fifo", "/device", "/directory", "/missing"}) {
    EXPECT_EQ(open_source(dir + name), nullptr) << name;
  }
  std::string command = "rm -rf '" + dir + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
}

}  // namespace
}  // namespace qp
