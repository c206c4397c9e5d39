#include "pack/mime_parts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/canonical_text.h"
#include "base/paths.h"
#include "pack/partial_parts.h"

namespace qp {
namespace {

TEST(mime_parts, parameters_decoded) {
  struct row {
    std::string value;
    std::string name;
    std::string decoded;
  };
  const std::vector<row> rows = {
      {"attachment; filename=\"a \\\"b\\\".pdf\"; size=3", "filename",
       "a \"b\".pdf"},
      {"text/plain; NAME=plain.txt ; charset=us-ascii", "name", "plain.txt"},
      {"text/plain; name*=utf-8'en'Caf%C3%A9%20au%20lait.txt", "name",
       "Caf\xC3\xA9 au lait.txt"},
      {"text/plain; name*=iso-8859-1''Caf%E9.txt", "name", "Caf\xC3\xA9.txt"},
      {"x; filename*0*=utf-8''%E2%82%AC; filename*1=\" 1;2\"; "
       "filename*2*=%21",
       "filename", "\xE2\x82\xAC 1;2!"},
      {"x; name=\"=?UTF-8?B?w6k=?= =?utf-8?Q?_a=C3=A9?= b.txt\"", "name",
       "\xC3\xA9 a\xC3\xA9 b.txt"},
      {"x; name=\"=?ISO-8859-1?Q?Caf=E9?=\"", "name", "Caf\xC3\xA9"},
      {"x; name=\"=?utf-8?X?bad?=\"", "name", "=?utf-8?X?bad?="},
      {"multipart/mixed; boundary=\"=_a;b\"", "boundary", "=_a;b"},
      {"text/plain", "name", ""},
  };
  for (const row& r : rows) {
    EXPECT_EQ(parameter(r.value, r.name), r.decoded) << r.value;
  }
  EXPECT_EQ(value_token(" Multipart/Mixed ; boundary=x"), "multipart/mixed");
}

TEST(mime_parts, encodings) {
  // Base64 lines of 76 characters, however the bytes arrive.
  std::string carry;
  std::string lines = base64_lines(std::string(50, 'a'), carry, false);
  lines += base64_lines(std::string(20, 'a'), carry, true);
  std::string four;
  for (int i = 0; i < 19; ++i) {
    four += "YWFh";
  }
  EXPECT_EQ(lines, four + "\nYWFhYWFhYWFhYWFhYQ==\n");
  // Quoted-printable: line breaks kept, spaces before them and a leading
  // "F" encoded, long lines broken softly.
  struct row {
    std::string bytes;
    std::string encoded;
  };
  const std::vector<row> rows = {
      {"a = b\r\nFrom x \n\tend\t", "a =3D b\n=46rom x=20\n\tend=09"},
      {"caf\xC3\xA9\r", "caf=C3=A9=0D"},
      {std::string(80, 'x'),
       std::string(75, 'x') + "=\n" + std::string(5, 'x')},
  };
  for (const row& r : rows) {
    quoted_printable_state state;
    std::string encoded;
    for (char c : r.bytes) {  // a byte at a time: the state carries over
      encoded += quoted_printable(std::string(1, c), state, false);
    }
    encoded += quoted_printable("", state, true);
    EXPECT_EQ(encoded, r.encoded) << r.bytes;
  }
}

TEST(mime_parts, canonical_names) {
  EXPECT_TRUE(canonically_equal("Caf\xC3\xA9", "Cafe\xCC\x81"));
  // Marks in another order of the same classes, Hangul, and stray bytes.
  EXPECT_TRUE(canonically_equal("a\xCC\x9B\xCC\x81", "a\xCC\x81\xCC\x9B"));
  EXPECT_TRUE(canonically_equal("\xEA\xB0\x81",
                                "\xE1\x84\x80\xE1\x85\xA1"
                                "\xE1\x86\xA8"));
  EXPECT_TRUE(
      canonically_equal("\xFF"
                        "a",
                        "\xFF"
                        "a"));
  EXPECT_FALSE(canonically_equal("Cafe", "Caf\xC3\xA9"));
  EXPECT_FALSE(
      canonically_equal("\xFF"
                        "a",
                        "\xFE"
                        "a"));
}

TEST(mime_parts, part_files_chosen) {
  const std::string decomposed = "Cafe\xCC\x81.txt";
  struct row {
    std::vector<std::string> listed;
    std::vector<std::string> wanted;
    std::string chosen;
  };
  const std::vector<row> rows = {
      {{"only.bin"}, {"../../etc/passwd"}, "only.bin"},
      {{"a.txt", decomposed}, {"Caf\xC3\xA9.txt"}, decomposed},
      {{"a.txt", "b.txt"}, {"c.txt", "b.txt"}, "b.txt"},
      {{"a.txt", ".."}, {".."}, ""},
      {{"a.txt", "b.txt"}, {"x/a.txt", "x\\b.txt"}, ""},
      {{}, {"a.txt"}, ""},
  };
  for (const row& r : rows) {
    EXPECT_EQ(choose_part_file(r.listed, r.wanted), r.chosen);
  }
  const char s = native_style.separator;
  const std::string messages = std::string("m") + s + "Messages" + s;
  EXPECT_EQ(attachments_folder(messages + "114892.partial.emlx"),
            std::string("m") + s + "Attachments" + s + "114892" + s);
  EXPECT_EQ(attachments_folder(messages + "x1.partial.emlx"), "");
}

}  // namespace
}  // namespace qp
