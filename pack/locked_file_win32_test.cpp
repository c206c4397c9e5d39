// The share-mode lock and the raw access of the target file on Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "pack/locked_file.h"
#include "tests/support/scratch.h"

namespace qp {
namespace {

using testing_support::read_file;
using testing_support::scratch_dir;

// An open by someone else, as another program would try it: asking for
// the access given and sharing everything.
bool other_open(const std::string& path, DWORD access) {
  HANDLE h =
      CreateFileA(path.c_str(), access,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    return false;
  }
  CloseHandle(h);
  return true;
}

TEST(locked_file_win32, WriterKeepsOtherWritersOut) {
  scratch_dir dir;
  const std::string path = dir.path() + "box.mbx";
  locked_file* file = open_locked(path, LOCKED_CREATE);
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(other_open(path, GENERIC_WRITE));
  EXPECT_TRUE(other_open(path, GENERIC_READ));  // readers may look
  EXPECT_EQ(open_locked(path, LOCKED_APPEND), nullptr);
  EXPECT_EQ(open_locked(path, LOCKED_CREATE), nullptr);
  EXPECT_EQ(open_locked(path, LOCKED_READ), nullptr);
  EXPECT_TRUE(close_locked(file));
  EXPECT_TRUE(other_open(path, GENERIC_WRITE));
}

TEST(locked_file_win32, ReadersShareButKeepWritersOut) {
  scratch_dir dir;
  const std::string path = dir.write("box.mbx", "From x\r\n");
  locked_file* first = open_locked(path, LOCKED_READ);
  ASSERT_NE(first, nullptr);
  locked_file* second = open_locked(path, LOCKED_READ);
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(other_open(path, GENERIC_WRITE));
  // A refused create leaves the file as it was.
  EXPECT_EQ(open_locked(path, LOCKED_CREATE), nullptr);
  char line[16] = {};
  ASSERT_NE(std::fgets(line, sizeof line, locked_stream(first)), nullptr);
  EXPECT_EQ(std::string(line), "From x\r\n");  // raw bytes, CR kept
  EXPECT_TRUE(close_locked(first));
  EXPECT_TRUE(close_locked(second));
  EXPECT_EQ(read_file(path), "From x\r\n");
}

TEST(locked_file_win32, CreateEmptiesAppendAddsAtTheEnd) {
  scratch_dir dir;
  const std::string path = dir.write("box.mbx", "old contents\r\n");
  locked_file* file = open_locked(path, LOCKED_CREATE);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file_position(file), 0);
  write_bytes(file, "one\n");  // written as it stands: no text mode
  write_line_end(file);
  EXPECT_EQ(file_position(file), 6);
  ASSERT_TRUE(close_locked(file));
  EXPECT_EQ(read_file(path), "one\n\r\n");

  file = open_locked(path, LOCKED_APPEND);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file_position(file), 6);
  write_bytes(file, "two");
  EXPECT_EQ(file_position(file), 9);
  ASSERT_TRUE(truncate_locked(file, 7));
  write_bytes(file, "3");
  ASSERT_TRUE(close_locked(file));
  EXPECT_EQ(read_file(path), "one\n\r\nt3");
}

TEST(locked_file_win32, WhatIsNoTargetFile) {
  scratch_dir dir;
  EXPECT_EQ(open_locked(dir.path() + "missing.mbx", LOCKED_READ), nullptr);
  EXPECT_EQ(open_locked(dir.path() + "no dir\\box.mbx", LOCKED_CREATE),
            nullptr);
  EXPECT_EQ(open_locked(dir.path(), LOCKED_APPEND), nullptr);  // a directory
  EXPECT_EQ(open_locked("nul", LOCKED_CREATE), nullptr);       // a device
}

}  // namespace
}  // namespace qp
