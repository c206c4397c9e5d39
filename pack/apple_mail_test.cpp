#include "pack/apple_mail.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/listings.h"
#include "tests/support/scratch.h"

namespace qp {
namespace {

using testing_support::all_lines;
using testing_support::scratch_dir;

const std::string message =
    "Date: Mon, 1 Jan 2001 10:00:00 +0000\nFrom: a@example.org\n\nBody.\n";

std::string plist_with_flags(const std::string& flags) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist "
         "version=\"1.0\">\n<dict>\n\t<key>date-sent</key>\n\t<real>1</real>"
         "\n\t<key>flags</key>\n\t<integer>" +
         flags + "</integer>\n</dict>\n</plist>\n";
}

TEST(apple_mail, count_line) {
  struct row {
    std::string head;
    size_t length;
    uint64_t count;
  };
  const std::vector<row> rows = {
      {"123\nDate:", 4, 123},
      {"  42   \nX", 8, 42},
      {"18446744073709551615\n", 21, UINT64_MAX},
      {"18446744073709551616\n", 0, 0},  // past 64 bits
      {"12\r\n", 0, 0},
      {"12 3\n", 0, 0},
      {"x12\n", 0, 0},
      {"   \n", 0, 0},
      {"12", 0, 0},
  };
  for (const row& r : rows) {
    uint64_t count = 0;
    EXPECT_EQ(apple_count_line(r.head, count), r.length) << r.head;
    if (r.length != 0) {
      EXPECT_EQ(count, r.count) << r.head;
    }
  }
}

TEST(apple_mail, flags_and_marks) {
  uint64_t flags = 0;
  ASSERT_TRUE(find_apple_flags(plist_with_flags("8590195717"), flags));
  EXPECT_EQ(flags, 8590195717u);  // past 32 bits
  EXPECT_FALSE(find_apple_flags("<key>flags</key><real>1</real>", flags));
  EXPECT_FALSE(find_apple_flags("<key>date</key><integer>1</integer>", flags));
  // One row per mark: the flags, then read, deleted, answered, flagged,
  // draft; bits 3, 5 and those past 6 say nothing of them.
  struct row {
    uint64_t flags;
    const char* marks;
  };
  const std::vector<row> rows = {
      {0, "....."},      {1, "r...."},           {2, ".d..."},
      {4, "..a.."},      {16, "...f."},          {64, "....t"},
      {8 | 32, "....."}, {0xFFFFFF80u, "....."}, {0x57, "rdaft"},
  };
  for (const row& r : rows) {
    const message_marks m = marks_of_apple_flags(r.flags);
    const std::string got = {m.read ? 'r' : '.', m.deleted ? 'd' : '.',
                             m.answered ? 'a' : '.', m.flagged ? 'f' : '.',
                             m.draft ? 't' : '.'};
    EXPECT_EQ(got, r.marks) << r.flags;
    EXPECT_TRUE(m.known);
    EXPECT_FALSE(m.is_new);
  }
}

// A file is an Apple Mail file by its content, whatever its name: the
// message is the counted bytes, read from after the count line, however
// small the reader's buffer; anything else is read whole as a plain file.
TEST(apple_mail, known_by_content) {
  const std::string count = std::to_string(message.size());
  const std::string plist = plist_with_flags("17");
  struct row {
    std::string name;
    std::string bytes;
    bool apple;
  };
  const std::vector<row> rows = {
      {"1.emlx", count + "\n" + message + plist, true},
      {"2.emlx", "  " + count + "    \n" + message + plist, true},
      {"renamed.eml", count + "\n" + message + plist, true},
      // A count past the end, a count that misses the list, no list.
      {"3.emlx", "9999\n" + message + plist, false},
      {"4.emlx", std::to_string(message.size() - 1) + "\n" + message + plist,
       false},
      {"5.emlx", count + "\n" + message, false},
      {"6.emlx", std::to_string(message.size() + 1) + "\n\n" + message + plist,
       false},
      {"plain.eml", message, false},
  };
  for (size_t buffer : {size_t{3}, size_t{256 * 1024}}) {
    set_reader_buffer_size(buffer);
    scratch_dir dir;
    for (const row& r : rows) {
      message_source source = open_message_source(dir.write(r.name, r.bytes));
      ASSERT_NE(source.reader, nullptr);
      EXPECT_EQ(source.kind, r.apple ? SOURCE_APPLE_MAIL : SOURCE_PLAIN_FILE)
          << r.name;
      EXPECT_EQ(source.marks.known, r.apple) << r.name;
      EXPECT_EQ(source.marks.read && source.marks.flagged, r.apple) << r.name;
      std::string read;
      for (const std::string& line : all_lines(source.reader)) {
        read += line;
      }
      EXPECT_EQ(read, r.apple ? message : r.bytes) << r.name;
      // Read again from its start, as a composed separator line needs.
      rewind_source(source.reader);
      std::string first;
      ASSERT_TRUE(read_line(source.reader, first));
      EXPECT_EQ(first, r.apple ? message.substr(0, message.find('\n') + 1)
                               : r.bytes.substr(0, r.bytes.find('\n') + 1));
      EXPECT_FALSE(source_failed(source.reader)) << r.name;
      close_message_source(source);
    }
  }
  set_reader_buffer_size(256 * 1024);
}

}  // namespace
}  // namespace qp
