// The command line as Windows hands it over, the log's text mode, and the
// other process services on Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/arguments.h"
#include "base/paths.h"
#include "base/process.h"
#include "tests/support/scratch.h"

namespace qp {
namespace {

using args = std::vector<std::string>;

TEST(process_win32, SplitsCommandLinesAsTheSystemHoldsThem) {
  struct split_case {
    const char* line;
    args expected;
  };
  const split_case cases[] = {
      // The program's own name, quoted with blanks inside, is skipped.
      {"\"C:\\Program Files\\quillpack\\quillpack.exe\" c:\\mail\\*.eml "
       "c:\\data\\ /p /a",
       {"c:\\mail\\*.eml", "c:\\data\\", "/p", "/a"}},
      {"quillpack.exe  c:\\mail  d:\\out\\", {"c:\\mail", "d:\\out\\"}},
      {"quillpack", {}},
      {"\"quillpack.exe\"", {}},
      // No escapes: a backslash before the closing quote stays.
      {"quillpack \"c:\\my mail\\\" \"d:\\my data\\\" /s",
       {"c:\\my mail\\", "d:\\my data\\", "/s"}},
      // A closing quote ends the argument; a quote inside one is a character.
      {"quillpack \"c:\\a b\"c:\\x c:\\y\"z /p",
       {"c:\\a b", "c:\\x", "c:\\y\"z", "/p"}},
      {"quillpack \"\" \"\" /p", {"", "", "/p"}},
      {"quillpack \"c:\\open quote", {"c:\\open quote"}},
      {"\"C:\\Program Files\\q.exe\"c:\\glued d:\\", {"c:\\glued", "d:\\"}},
      {"quillpack\tc:\\a\t\td:\\b \t", {"c:\\a", "d:\\b"}},
  };
  for (const split_case& c : cases) {
    EXPECT_EQ(split_command_line(c.line), c.expected) << c.line;
  }
}

TEST(process_win32, ArgumentsComeFromTheSystemsCommandLine) {
  const args from_system = program_arguments(0, nullptr);
  EXPECT_EQ(from_system, split_command_line(GetCommandLineA()));
}

TEST(process_win32, OwnPathIsTheRunningExecutable) {
  const std::string path = own_path();
  ASSERT_GT(path.size(), 4u);
  EXPECT_EQ(path_lower(path.substr(path.size() - 4)), ".exe");
  EXPECT_EQ(path_kind(path), KIND_FILE);
  EXPECT_NE(path.find('\\'), std::string::npos);
}

TEST(process_win32, PrivateFilesAreWrittenInTextMode) {
  testing_support::scratch_dir dir;
  const std::string path = dir.path() + "quillpack.log";
  std::FILE* file = open_private_file(path, false);
  ASSERT_NE(file, nullptr);
  std::fputs("one\ntwo\n", file);
  std::fclose(file);
  file = open_private_file(path, true);
  ASSERT_NE(file, nullptr);
  std::fputs("three\n", file);
  std::fclose(file);
  EXPECT_EQ(testing_support::read_file(path), "one\r\ntwo\r\nthree\r\n");
  EXPECT_EQ(open_private_file(dir.path() + "no dir\\x.log", true), nullptr);
}

}  // namespace
}  // namespace qp
