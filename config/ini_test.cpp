// Tests of the INI file reader.
#include "config/ini.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace qp {
namespace {

using namespace std::string_literals;
using entry = std::pair<std::string, std::string>;
using entries = std::vector<entry>;

using temp_dir = testing_support::scratch_dir;

// ---- The five outcomes, with exact line numbers ----

struct outcome_case {
  const char* title;
  std::string text;
  ini_status status;
  int line;
};

std::ostream& operator<<(std::ostream& out, const outcome_case& c) {
  return out << c.title;
}

class ini_outcome : public ::testing::TestWithParam<outcome_case> {};

TEST_P(ini_outcome, status_and_line) {
  const outcome_case& c = GetParam();
  ini_result result = parse_ini_text(c.text);
  EXPECT_EQ(result.status, c.status);
  EXPECT_EQ(result.line, c.line);
  if (result.status != INI_OK) {
    EXPECT_TRUE(result.document.sections.empty());
  }
}

const outcome_case outcome_cases[] = {
    // No section: nothing but blanks, comments or lines before any header.
    {"empty_file", "", INI_NO_SECTION, 0},
    {"byte_order_mark_only", "\xEF\xBB\xBF", INI_NO_SECTION, 0},
    {"byte_order_mark_then_empty_header", "\xEF\xBB\xBF[]\n",
     INI_INVALID_SECTION, 1},
    {"blank_lines_only", "\n \t\n\r\n\n", INI_NO_SECTION, 0},
    {"comments_and_blanks", "; one\n\n  ; two\n", INI_NO_SECTION, 0},
    {"key_lines_without_header", "MboxExtension=mbox\nx\n", INI_NO_SECTION, 0},
    {"bracket_not_first", "x [Names]\n", INI_NO_SECTION, 0},
    // Invalid section.
    {"empty_header_line_4", "; c\n\n[Names]\n[]\n", INI_INVALID_SECTION, 4},
    {"header_without_bracket", "\n[Names\n", INI_INVALID_SECTION, 2},
    {"header_only_opening", "[", INI_INVALID_SECTION, 1},
    {"empty_header_then_text", "[]x]\n", INI_INVALID_SECTION, 1},
    {"empty_header_padded", " \t[] \r\n", INI_INVALID_SECTION, 1},
    {"empty_header_crlf", "[A]\r\n\r\n[]\r\n", INI_INVALID_SECTION, 3},
    {"tenth_physical_line",
     "; 1\n\n[FromLines]\n; 4\n\n  \nChangeAllowed=true\n\n; 9\n[oops\n",
     INI_INVALID_SECTION, 10},
    {"first_fault_wins", "[]\n[\n", INI_INVALID_SECTION, 1},
    // Duplicate section names, compared lower-cased with the closed ones.
    {"section_again_in_capitals", "[Names]\nMboxExtension=mbx\n[NAMES]\n",
     INI_DUPLICATE_NAME, 3},
    {"section_repeated_directly", "[Names]\n[names]\n", INI_DUPLICATE_NAME, 2},
    {"section_repeated_later", "[A]\n[B]\n[a]\n", INI_DUPLICATE_NAME, 3},
    {"text_after_bracket_ignored", "[Names] ; c\n[names]x\n",
     INI_DUPLICATE_NAME, 2},
    {"duplicate_before_invalid", "[A]\n[a]\n[]\n", INI_DUPLICATE_NAME, 2},
    {"non_ascii_name_again", "[\xC4rger]\n[\xC4RGER]\n", INI_DUPLICATE_NAME, 2},
    {"nul_in_name_again", "[A\0B]\n[a\0b]\n"s, INI_DUPLICATE_NAME, 2},
    // Duplicate keys within one section, empty keys included.
    {"key_twice", "[Names]\nx=1\nx=2\n", INI_DUPLICATE_NAME, 3},
    {"key_twice_other_case_and_blanks", "[Names]\nKey = 1\n  KEY\t= 2\n",
     INI_DUPLICATE_NAME, 3},
    {"empty_key_after_comment", "[Names]\n; c\n=x\n", INI_DUPLICATE_NAME, 3},
    {"empty_key_after_plain_line", "[Names]\nword\n= x\n", INI_DUPLICATE_NAME,
     3},
    {"empty_key_twice", "[Names]\n=a\n\n=b\n", INI_DUPLICATE_NAME, 4},
    {"key_twice_no_final_line_end", "[A]\nk=1\nk=2", INI_DUPLICATE_NAME, 3},
    {"key_twice_crlf", "[A]\r\nk=1\r\nK=2\r\n", INI_DUPLICATE_NAME, 3},
    // Accepted.
    {"header_only", "[Names]", INI_OK, 0},
    {"comment_after_empty_key", "[Names]\n=a\n; c\n", INI_OK, 0},
    {"comments_repeated", "[Names]\n; a\n; a\n", INI_OK, 0},
    {"plain_lines_repeated", "[Names]\nw\nw\n", INI_OK, 0},
    {"same_key_two_sections", "[A]\nk=1\n[B]\nk=2\n", INI_OK, 0},
    {"leading_block_repeats", "k=1\nk=1\n; c\n=x\n[A]\n", INI_OK, 0},
    {"inner_blanks_make_other_name", "[Names]\n[ Names ]\n", INI_OK, 0},
    {"inner_blank_makes_other_key", "[A]\nab=1\na b=2\n", INI_OK, 0},
    // A lone CR ends a line as LF and CR LF do; CR CR LF is two line ends.
    {"lone_cr_ends_a_line", "[A]\nk=1\rk=2\n", INI_DUPLICATE_NAME, 3},
    {"lone_cr_line_numbers", "[A]\r\rk=1\r\n\r[]\r", INI_INVALID_SECTION, 5},
    {"cr_cr_lf_line_numbers", "[A]\r\r\n[]", INI_INVALID_SECTION, 3},
    {"lone_cr_inside_header", "[A\r]\r[B]\n", INI_INVALID_SECTION, 1},
};

INSTANTIATE_TEST_SUITE_P(
    all, ini_outcome, ::testing::ValuesIn(outcome_cases),
    [](const ::testing::TestParamInfo<outcome_case>& info) {
      return std::string(info.param.title);
    });

// ---- The document ----

struct document_case {
  const char* title;
  std::string text;
  std::vector<ini_section> sections;
};

std::ostream& operator<<(std::ostream& out, const document_case& c) {
  return out << c.title;
}

class ini_document_content : public ::testing::TestWithParam<document_case> {};

TEST_P(ini_document_content, sections_and_entries) {
  const document_case& c = GetParam();
  ini_result result = parse_ini_text(c.text);
  ASSERT_EQ(result.status, INI_OK);
  EXPECT_EQ(result.line, 0);
  ASSERT_EQ(result.document.sections.size(), c.sections.size());
  for (std::size_t i = 0; i < c.sections.size(); ++i) {
    EXPECT_EQ(result.document.sections[i].name, c.sections[i].name) << i;
    EXPECT_EQ(result.document.sections[i].entries, c.sections[i].entries) << i;
  }
}

const document_case document_cases[] = {
    {"header_only", "[Names]", {{"Names", {}}}},
    {"name_as_written", "[ fromLINES ] trailing text\n", {{" fromLINES ", {}}}},
    {"leading_block_all_empty_keys",
     "  MboxExtension = x \n; note\nword\n[Names]\n",
     {{"", {{"", "MboxExtension = x"}, {"", "; note"}, {"", "word"}}},
      {"Names", {}}}},
    {"key_lines_trimmed",
     "[FromLines]\n \tChangeAllowed \t= \t true \t\r\n",
     {{"FromLines", {{"ChangeAllowed", "true"}}}}},
    {"value_keeps_rest_of_line",
     "[A]\nk = a=b ; \"c\" \\n\n",
     {{"A", {{"k", "a=b ; \"c\" \\n"}}}}},
    {"empty_value", "[A]\nk=\nj =  \n", {{"A", {{"k", ""}, {"j", ""}}}}},
    {"empty_key", "[A]\n= v\n", {{"A", {{"", "v"}}}}},
    {"comment_and_plain_line",
     "[A]\n;c = 1\n  ; d\nalone\n",
     {{"A", {{"", ";c = 1"}, {"", "; d"}, {"", "alone"}}}}},
    {"number_sign_is_a_key",
     "[A]\n# k = v\n#x\n",
     {{"A", {{"# k", "v"}, {"", "#x"}}}}},
    {"inner_blank_in_key", "[A]\na b = 1\n", {{"A", {{"a b", "1"}}}}},
    {"sections_in_file_order",
     "[B]\nx=1\n\n[A]\ny=2\n[C]\n",
     {{"B", {{"x", "1"}}}, {"A", {{"y", "2"}}}, {"C", {}}}},
    {"no_final_line_end", "[A]\nk=v", {{"A", {{"k", "v"}}}}},
    {"crlf_line_ends", "[A]\r\nk = v \r\n\r\n", {{"A", {{"k", "v"}}}}},
    {"lone_cr_line_ends",
     "\r[A]\r\nk=1\rj=2\r\n\r; c\r",
     {{"A", {{"k", "1"}, {"j", "2"}, {"", "; c"}}}}},
    {"non_ascii_bytes_kept",
     "[\xC4rger]\n\xE9t\xE9 = \xFF\x80\n",
     {{"\xC4rger", {{"\xE9t\xE9", "\xFF\x80"}}}}},
    {"nul_bytes_kept",
     "[N\0]\nk\0ey = v\0al\0\n"s,
     {{"N\0"s, {{"k\0ey"s, "v\0al\0"s}}}}},
    {"ctrl_z_is_ordinary",
     "[A]\nk=\x1A\n\x1A\n",
     {{"A", {{"k", "\x1A"}, {"", "\x1A"}}}}},
    // An editor's UTF-8 byte order mark is skipped at the start, and only
    // there; a lone one is an empty file.
    {"byte_order_mark_skipped",
     "\xEF\xBB\xBF[Names]\r\nMboxExtension=.mbox\r\n",
     {{"Names", {{"MboxExtension", ".mbox"}}}}},
    {"byte_order_mark_before_a_comment",
     "\xEF\xBB\xBF; note\n[A]\n",
     {{"", {{"", "; note"}}}, {"A", {}}}},
    {"byte_order_mark_later_is_text",
     "[A]\n\xEF\xBB\xBFk=v\n",
     {{"A", {{"\xEF\xBB\xBFk", "v"}}}}},
};

INSTANTIATE_TEST_SUITE_P(
    all, ini_document_content, ::testing::ValuesIn(document_cases),
    [](const ::testing::TestParamInfo<document_case>& info) {
      return std::string(info.param.title);
    });

TEST(ini_reader, long_line) {
  std::string value(99998, 'x');
  std::string text = "[A]\nk=" + value + "\n[" + std::string(100000, 'n');
  // The third line is 100,001 characters long and has no "]".
  ini_result result = parse_ini_text(text);
  EXPECT_EQ(result.status, INI_INVALID_SECTION);
  EXPECT_EQ(result.line, 3);

  result = parse_ini_text("[A]\nk=" + value + "\n");
  ASSERT_EQ(result.status, INI_OK);
  ASSERT_EQ(result.document.sections.size(), 1u);
  ASSERT_EQ(result.document.sections[0].entries.size(), 1u);
  EXPECT_EQ(("k=" + result.document.sections[0].entries[0].second).size(),
            100000u);
}

TEST(ini_reader, many_keys) {
  std::string text = "[A]\n";
  for (int i = 0; i < 20000; ++i) {
    text += "key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  }
  text += "KEY19999=again\n";
  ini_result result = parse_ini_text(text);
  EXPECT_EQ(result.status, INI_DUPLICATE_NAME);
  EXPECT_EQ(result.line, 20002);
}

// Random texts over the bytes that matter: never a crash, and a fault line
// always lies within the text.
TEST(ini_reader, random_texts_keep_invariants) {
  const std::string alphabet = "[]=;#\n\n\r \tab\0\xff"s;
  std::uint32_t seed = 12345;
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    int length = round % 60;
    for (int i = 0; i < length; ++i) {
      seed = seed * 1103515245u + 12345u;
      text += alphabet[(seed >> 16) % alphabet.size()];
    }
    int lines = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      bool pair = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
      if ((text[i] == '\n' || text[i] == '\r' || i + 1 == text.size()) &&
          !pair) {
        ++lines;
      }
    }
    ini_result result = parse_ini_text(text);
    if (result.status == INI_INVALID_SECTION ||
        result.status == INI_DUPLICATE_NAME) {
      EXPECT_GE(result.line, 1) << round;
      EXPECT_LE(result.line, lines) << round;
    } else {
      EXPECT_EQ(result.line, 0) << round;
      EXPECT_NE(result.status, INI_CANNOT_OPEN) << round;
    }
  }
}

// ---- Reading a file ----

TEST(ini_file, missing_file_cannot_be_opened) {
  temp_dir dir;
  ini_result result = parse_ini(dir.path() + "/no-such.ini");
  EXPECT_EQ(result.status, INI_CANNOT_OPEN);
  EXPECT_TRUE(result.document.sections.empty());
}

TEST(ini_file, directory_cannot_be_opened) {
  temp_dir dir;
  EXPECT_EQ(parse_ini(dir.path()).status, INI_CANNOT_OPEN);
}

TEST(ini_file, read_as_raw_bytes) {
  temp_dir dir;
  const std::string bytes = "; \xE4\r\n[A]\r\nk = v\0w\r\nx=1\ry\n[]"s;
  ini_result from_file = parse_ini(dir.write("a.ini", bytes));
  ini_result from_text = parse_ini_text(bytes);
  EXPECT_EQ(from_file.status, INI_INVALID_SECTION);
  EXPECT_EQ(from_file.line, 6);
  EXPECT_EQ(from_text.status, from_file.status);
  EXPECT_EQ(from_text.line, from_file.line);

  ini_result valid =
      parse_ini(dir.write("b.ini", "[A]\r\nk = v\0w\r\nx=1\ry"s));
  ASSERT_EQ(valid.status, INI_OK);
  ASSERT_EQ(valid.document.sections.size(), 1u);
  EXPECT_EQ(valid.document.sections[0].entries,
            (entries{{"k", "v\0w"s}, {"x", "1"}, {"", "y"}}));
}

TEST(ini_file, empty_file_has_no_section) {
  temp_dir dir;
  ini_result result = parse_ini(dir.write("empty.ini", ""));
  EXPECT_EQ(result.status, INI_NO_SECTION);
  EXPECT_EQ(result.line, 0);
}

// The limit is a size, not a count of lines: a file of exactly the limit is
// read, one byte more is a fault before any line is looked at.
TEST(ini_file, size_limit) {
  temp_dir dir;
  std::string text = "[A]\n";
  text += std::string(ini_size_limit - text.size() - 1, ';') + "\n";
  EXPECT_EQ(parse_ini(dir.write("limit.ini", text)).status, INI_OK);
  ini_result over = parse_ini(dir.write("over.ini", text + "["));
  EXPECT_EQ(over.status, INI_TOO_LARGE);
  EXPECT_EQ(over.line, 0);
  EXPECT_TRUE(over.document.sections.empty());
}

TEST(ini_file, large_file) {
  temp_dir dir;
  std::string text = "[A]\n";
  for (int i = 0; i < 5000; ++i) {
    text += "k" + std::to_string(i) + " = " + std::string(100, 'v') + "\n";
  }
  ini_result result = parse_ini(dir.write("big.ini", text));
  ASSERT_EQ(result.status, INI_OK);
  ASSERT_EQ(result.document.sections.size(), 1u);
  EXPECT_EQ(result.document.sections[0].entries.size(), 5000u);
}

}  // namespace
}  // namespace qp
