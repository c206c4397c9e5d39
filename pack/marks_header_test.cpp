// Marks from Maildir names and where a file lies, and the lines they
// become in a message's header as the transfer writes it.
#include "pack/marks_header.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/paths.h"
#include "pack/locked_file.h"
#include "pack/separator.h"
#include "pack/transfer.h"
#include "tests/support/scratch.h"

namespace qp {
namespace {

using testing_support::read_file;
using testing_support::scratch_dir;

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line + "\n";
  }
  return text;
}

struct name_case {
  const char* name;
  bool in_new;
  const char* lines;
};

const name_case name_cases[] = {
    {"1.M1P2.host:2,S", false, "Status: RO\n"},
    {"1.M1P2.host:2,", false, "Status: O\n"},
    {"1.M1P2.host", false, "Status: O\n"},
    {"1.M1P2.host", true, ""},
    {"1.M1P2.host:2,S", true, "Status: R\n"},
    {"1.host:2,DFRST", false, "Status: RO\nX-Status: AFDT\n"},
    {"1.host!2,TR", false, "Status: O\nX-Status: AD\n"},
    {"1.host;2,FS", false, "Status: RO\nX-Status: F\n"},
    // Keywords (lower case) and the letters of no mark are passed over.
    {"1.host:2,Sabc", false, "Status: RO\n"},
    {"1.host:2,PS", false, "Status: RO\n"},
    // Only the last info counts; an experimental one carries no marks.
    {"1:2,F.host:2,S", false, "Status: RO\n"},
    {"1.host:1,S", false, "Status: O\n"},
};

TEST(marks_header, maildir_names_give_status_lines) {
  for (const name_case& c : name_cases) {
    EXPECT_EQ(joined(marks_header_lines(maildir_name_marks(c.name, c.in_new))),
              c.lines)
        << c.name << (c.in_new ? " in new/" : " in cur/");
  }
  EXPECT_TRUE(marks_header_lines(message_marks()).empty());
  message_marks apple;
  apple.known = true;
  apple.read = apple.flagged = true;
  EXPECT_EQ(joined(marks_header_lines(apple)), "Status: RO\nX-Status: F\n");
}

// A path below dir, with the separators the program's own paths have.
std::string native_path(const scratch_dir& dir, std::string relative) {
  for (char& c : relative) {
    c = c == '/' ? native_style.separator : c;
  }
  return dir.path() + relative;
}

TEST(marks_header, only_files_of_a_maildir_have_marks) {
  scratch_dir dir;
  dir.write("box/cur/1!2,S", "x");
  dir.write("box/new/2", "x");
  dir.write("lone/cur/3!2,S", "x");
  dir.write("file!2,S", "x");
  EXPECT_TRUE(marks_beside(native_path(dir, "box/cur/1!2,S")).read);
  message_marks fresh = marks_beside(native_path(dir, "box/new/2"));
  EXPECT_TRUE(fresh.known && fresh.is_new);
  EXPECT_FALSE(marks_beside(native_path(dir, "lone/cur/3!2,S")).known);
  EXPECT_FALSE(marks_beside(dir.path() + "file!2,S").known);
  EXPECT_FALSE(marks_beside("1!2,S").known);
}

struct header_case {
  const char* title;
  std::string source;
  std::string expected;  // after the separator line, LF line ends
};

const std::string seen_flagged = "Status: RO\nX-Status: F\n";
const std::string head = "Date: Wed, 3 Jan 1996 01:05:34 +0100\nFrom: <a@b>\n";

const header_case header_cases[] = {
    {"last in the header", head + "\nbody\n", head + seen_flagged + "\nbody\n"},
    {"a header without its empty line gets a line end first",
     head + "Subject: a", head + "Subject: a\n" + seen_flagged},
    {"its own Status line, in any letter case, is kept alone",
     head + "STATUS: O\n\nbody\n", head + "STATUS: O\n\nbody\n"},
    {"its own X-Status line too", "x-status: A\n" + head + "\n",
     "x-status: A\n" + head + "\n"},
    {"a field that only begins so is no mark",
     head + "Statusline: x\n  Status: folded\n\n",
     head + "Statusline: x\n  Status: folded\n" + seen_flagged + "\n"},
    {"a Status line in the body is no mark", head + "\nStatus: RO\n",
     head + seen_flagged + "\nStatus: RO\n"},
};

std::string transfer_marked(const std::string& source, bool write_marks,
                            bool lf) {
  scratch_dir dir;
  const std::string target_path = dir.path() + "target.mbx";
  locked_file* target = open_locked(target_path, LOCKED_CREATE);
  set_lf_line_ends(target, lf);
  message_source opened = open_message_source(dir.write("m.eml", source));
  opened.marks = maildir_name_marks("1:2,SF", false);
  transfer_options options;
  options.write_marks = write_marks;
  EXPECT_GT(transfer_source(opened, target, options), 0);
  close_message_source(opened);
  EXPECT_TRUE(close_locked(target));
  return read_file(target_path);
}

std::string with_crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  }
  return out;
}

TEST(marks_header, written_where_readers_look) {
  const std::string separator(fallback_from_line);
  for (size_t buffer : {size_t{256 * 1024}, size_t{3}}) {
    set_reader_buffer_size(buffer);
    for (const header_case& c : header_cases) {
      EXPECT_EQ(transfer_marked(c.source, true, true), separator + c.expected)
          << c.title << ", buffer " << buffer;
      EXPECT_EQ(transfer_marked(c.source, true, false),
                with_crlf(separator + c.expected))
          << c.title << ", buffer " << buffer;
    }
  }
  set_reader_buffer_size(256 * 1024);
  EXPECT_EQ(transfer_marked(head + "\n", false, true), separator + head + "\n");
}

}  // namespace
}  // namespace qp
