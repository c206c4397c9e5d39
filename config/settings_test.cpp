// Tests of the settings and their validation.
#include "config/settings.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>

#include "base/paths.h"
#include "base/process.h"
#include "report/report.h"

namespace qp {
namespace {

using namespace std::string_literals;

using temp_dir = testing_support::scratch_dir;

pack_settings make_settings(quoting_mode mode, std::string begin,
                            std::string end, std::string mbox,
                            std::string folder) {
  pack_settings s;
  s.from_mode = mode;
  s.donotchange_begin = std::move(begin);
  s.donotchange_end = std::move(end);
  s.mbox_extension = std::move(mbox);
  s.folder_extension = std::move(folder);
  return s;
}

void expect_settings(const pack_settings& actual,
                     const pack_settings& expected) {
  EXPECT_EQ(actual.from_mode, expected.from_mode);
  EXPECT_EQ(actual.donotchange_begin, expected.donotchange_begin);
  EXPECT_EQ(actual.donotchange_end, expected.donotchange_end);
  EXPECT_EQ(actual.mbox_extension, expected.mbox_extension);
  EXPECT_EQ(actual.folder_extension, expected.folder_extension);
}

const pack_settings defaults;

// ---- Valid files: the settings they give ----

struct valid_case {
  const char* title;
  std::string text;
  pack_settings expected;
};

std::ostream& operator<<(std::ostream& out, const valid_case& c) {
  return out << c.title;
}

class settings_valid : public ::testing::TestWithParam<valid_case> {};

TEST_P(settings_valid, applies) {
  const valid_case& c = GetParam();
  ini_result parsed = parse_ini_text(c.text);
  ASSERT_EQ(parsed.status, INI_OK);
  pack_settings out;
  EXPECT_EQ(apply_ini_document(parsed.document, out), "");
  expect_settings(out, c.expected);
}

const valid_case valid_cases[] = {
    {"names_header_only", "[Names]\n", defaults},
    {"fromlines_header_only", "[FromLines]", defaults},
    {"both_headers_lower_case", "[fromlines]\n[names]\n", defaults},
    {"leading_block_ignored", "MboxExtension=a:b\nfoo=bar\n; c\n[Names]\n",
     defaults},
    {"comments_and_plain_lines_ignored",
     "[FromLines]\n= x\n; ChangeAllowed=x\nChangeAllowed\n[Names]\n; x\nfoo\n",
     defaults},
    {"mbox_without_dot", "[Names]\nMboxExtension=mbox\n",
     make_settings(FROM_KEEP, "", "", ".mbox", "")},
    {"mbox_with_dot", "[Names]\nMboxExtension=.mbox\n",
     make_settings(FROM_KEEP, "", "", ".mbox", "")},
    {"mbox_with_two_dots", "[NAMES]\nmboxextension = ..mbox\n",
     make_settings(FROM_KEEP, "", "", ".mbox", "")},
    {"mbox_keeps_case_and_inner_dots", "[Names]\nMBOXEXTENSION=.Mb.X.\n",
     make_settings(FROM_KEEP, "", "", ".Mb.X.", "")},
    {"mbox_empty_folder_set", "[Names]\nMboxExtension=\nFolderExtension=sbd\n",
     make_settings(FROM_KEEP, "", "", "", ".sbd")},
    {"mbox_only_dots_folder_set",
     "[Names]\nFolderExtension=.sbd\nMboxExtension=...\n",
     make_settings(FROM_KEEP, "", "", "", ".sbd")},
    {"folder_only_dots", "[Names]\nFolderExtension=..\n", defaults},
    {"non_ascii_extension", "[Names]\nMboxExtension=\xC3\xA4mb\n",
     make_settings(FROM_KEEP, "", "", ".\xC3\xA4mb", "")},
    {"change_allowed_true", "[FromLines]\nChangeAllowed=true\n",
     make_settings(FROM_ALL, "", "", ".mbx", "")},
    {"change_allowed_upper_case", "[FromLines]\nChangeAllowed=TRUE\n",
     make_settings(FROM_ALL, "", "", ".mbx", "")},
    {"change_allowed_mixed_case", "[FromLines]\nchangeallowed = True\n",
     make_settings(FROM_ALL, "", "", ".mbx", "")},
    {"change_allowed_false", "[FromLines]\nChangeAllowed=False\n", defaults},
    {"true_with_begin_only",
     "[FromLines]\nChangeAllowed=true\ndonotchange-begin=BEGIN*\n",
     make_settings(FROM_ALL, "BEGIN*", "", ".mbx", "")},
    {"true_with_end_only",
     "[FromLines]\nChangeAllowed=true\nDoNotChange-End=END*\n",
     make_settings(FROM_ALL, "", "END*", ".mbx", "")},
    {"true_with_both_patterns",
     "[FromLines]\nChangeAllowed=true\ndonotchange-begin=B*\n"
     "donotchange-end=E*\n",
     make_settings(FROM_GUARDED, "B*", "E*", ".mbx", "")},
    {"patterns_before_change_allowed",
     "[FromLines]\ndonotchange-begin=B*\ndonotchange-end=E*\n"
     "ChangeAllowed=true\n",
     make_settings(FROM_GUARDED, "B*", "E*", ".mbx", "")},
    {"false_with_both_patterns",
     "[FromLines]\nChangeAllowed=false\ndonotchange-begin=B*\n"
     "donotchange-end=E*\n",
     make_settings(FROM_KEEP, "B*", "E*", ".mbx", "")},
    {"patterns_as_written",
     "[FromLines]\ndonotchange-begin =  -----BEGIN *=x; \"y\"  \n"
     "donotchange-end\t=\t?End \n",
     make_settings(FROM_KEEP, "-----BEGIN *=x; \"y\"", "?End", ".mbx", "")},
    {"everything",
     "; quillpack\n[Names]\nFolderExtension=sbd\nMboxExtension=mbox\n"
     "[FromLines]\nChangeAllowed=true\ndonotchange-begin=<pre>\n"
     "donotchange-end=</pre>\n",
     make_settings(FROM_GUARDED, "<pre>", "</pre>", ".mbox", ".sbd")},
};

INSTANTIATE_TEST_SUITE_P(all, settings_valid, ::testing::ValuesIn(valid_cases),
                         [](const ::testing::TestParamInfo<valid_case>& info) {
                           return std::string(info.param.title);
                         });

// ---- Faulty files: the detail line of the first fault ----

struct fault_case {
  const char* title;
  std::string text;
  std::string detail;
};

std::ostream& operator<<(std::ostream& out, const fault_case& c) {
  return out << c.title;
}

class settings_fault : public ::testing::TestWithParam<fault_case> {};

TEST_P(settings_fault, detail) {
  const fault_case& c = GetParam();
  ini_result parsed = parse_ini_text(c.text);
  ASSERT_EQ(parsed.status, INI_OK);
  pack_settings out;
  EXPECT_EQ(apply_ini_document(parsed.document, out), c.detail);
}

const fault_case fault_cases[] = {
    // Unknown section, as written, before any fault in the keys.
    {"unknown_section", "[Foo]\n", "Unknown section 'Foo'."},
    {"unknown_section_blanks", "[ Names ]\n", "Unknown section ' Names '."},
    {"unknown_section_after_bad_key",
     "[Names]\nBad=1\n[FromLines]\nChangeAllowed=maybe\n[X y]\n",
     "Unknown section 'X y'."},
    {"unknown_section_non_ascii", "[Names]\n[\xC4nderung]\n",
     "Unknown section '\\xC4nderung'."},
    // Unknown keys, as written, with the section in its fixed form.
    {"unknown_key_fromlines", "[fromlines]\nQuote=1\n",
     "Section 'FromLines': Unknown key 'Quote'."},
    {"unknown_key_names", "[NAMES]\nmboxextension=mbox\nFolderExt = x\n",
     "Section 'Names': Unknown key 'FolderExt'."},
    {"number_sign_key", "[FromLines]\n#ChangeAllowed=true\n",
     "Section 'FromLines': Unknown key '#ChangeAllowed'."},
    {"inner_blank_key", "[FromLines]\nChange Allowed=true\n",
     "Section 'FromLines': Unknown key 'Change Allowed'."},
    {"key_of_other_section", "[Names]\nChangeAllowed=true\n",
     "Section 'Names': Unknown key 'ChangeAllowed'."},
    {"first_key_fault_in_file_order", "[FromLines]\nFoo=1\nChangeAllowed=x\n",
     "Section 'FromLines': Unknown key 'Foo'."},
    // ChangeAllowed values, shown as written.
    {"change_allowed_empty", "[FromLines]\nChangeAllowed=\n",
     "Section 'FromLines': Key 'ChangeAllowed' cannot take value ''."},
    {"change_allowed_yes", "[FromLines]\nchangeallowed=Yes\n",
     "Section 'FromLines': Key 'ChangeAllowed' cannot take value 'Yes'."},
    {"change_allowed_two_words", "[FromLines]\n ChangeAllowed =  TRUE x \n",
     "Section 'FromLines': Key 'ChangeAllowed' cannot take value 'TRUE x'."},
    {"change_allowed_one", "[FromLines]\nChangeAllowed=1\n",
     "Section 'FromLines': Key 'ChangeAllowed' cannot take value '1'."},
    // Characters not allowed in file names.
    {"question_star_question", "[Names]\nMboxExtension=?*?\n",
     "Key 'MboxExtension': Character(s) '?*' not allowed in file names on "
     "Windows."},
    {"all_nine", "[Names]\nMboxExtension=a:\"/\\?*<>|b:|\n",
     "Key 'MboxExtension': Character(s) ':\"/\\?*<>|' not allowed in file "
     "names on Windows."},
    {"folder_extension_bad", "[names]\nfolderextension=.a<b\n",
     "Key 'FolderExtension': Character(s) '<' not allowed in file names on "
     "Windows."},
    {"only_leading_dots_removed", "[Names]\nMboxExtension=..a.:\n",
     "Key 'MboxExtension': Character(s) ':' not allowed in file names on "
     "Windows."},
    // Control characters, NUL included, which would otherwise cut the name
    // short; shown escaped.
    {"nul_in_extension", "[Names]\nMboxExtension=.x\0a\n"s,
     "Key 'MboxExtension': Character(s) '\\x00' not allowed in file names "
     "on Windows."},
    {"controls_each_once", "[Names]\nFolderExtension=a\tb\x1B\x7F\x01\tc\n",
     "Key 'FolderExtension': Character(s) '\\x09\\x1B\\x7F\\x01' not "
     "allowed in file names on Windows."},
    {"first_extension_in_file_order",
     "[Names]\nFolderExtension=a|\nMboxExtension=b:\n",
     "Key 'FolderExtension': Character(s) '|' not allowed in file names on "
     "Windows."},
    // Equal extensions, letter case ignored.
    {"mbox_empty_folder_default", "[Names]\nMboxExtension=\n",
     "Values of 'MboxExtension' and 'FolderExtension' must not be equal."},
    {"mbox_only_dots", "[Names]\nMboxExtension=...\n",
     "Values of 'MboxExtension' and 'FolderExtension' must not be equal."},
    {"folder_mbx_upper_case", "[Names]\nFolderExtension=MBX\n",
     "Values of 'MboxExtension' and 'FolderExtension' must not be equal."},
    {"both_set_equal", "[Names]\nMboxExtension=sbd\nFolderExtension=.SBD\n",
     "Values of 'MboxExtension' and 'FolderExtension' must not be equal."},
    // The order of the steps, whatever the order in the file.
    {"fromlines_before_names",
     "[Names]\nMboxExtension=a*\n[FromLines]\nChangeAllowed=maybe\n",
     "Section 'FromLines': Key 'ChangeAllowed' cannot take value 'maybe'."},
    {"key_fault_before_equality", "[Names]\nMboxExtension=\nOther=1\n",
     "Section 'Names': Unknown key 'Other'."},
    {"character_fault_before_equality",
     "[Names]\nFolderExtension=\nMboxExtension=?\n",
     "Key 'MboxExtension': Character(s) '?' not allowed in file names on "
     "Windows."},
};

INSTANTIATE_TEST_SUITE_P(all, settings_fault, ::testing::ValuesIn(fault_cases),
                         [](const ::testing::TestParamInfo<fault_case>& info) {
                           return std::string(info.param.title);
                         });

// ---- apply_ini_document on documents that parse_ini does not make ----

TEST(apply_ini_document, known_section_twice_applies_both) {
  ini_document document;
  document.sections.push_back({"Names", {{"MboxExtension", "a"}}});
  document.sections.push_back({"names", {{"FolderExtension", "b"}}});
  pack_settings out;
  EXPECT_EQ(apply_ini_document(document, out), "");
  EXPECT_EQ(out.mbox_extension, ".a");
  EXPECT_EQ(out.folder_extension, ".b");
}

TEST(apply_ini_document, false_leaves_the_mode_as_it_is) {
  ini_document document;
  document.sections.push_back({"FromLines", {{"ChangeAllowed", "false"}}});
  pack_settings out;
  out.from_mode = FROM_ALL;
  EXPECT_EQ(apply_ini_document(document, out), "");
  EXPECT_EQ(out.from_mode, FROM_ALL);
}

TEST(apply_ini_document, nul_bytes_in_names) {
  ini_document document;
  document.sections.push_back({"Names\0"s, {}});
  pack_settings out;
  EXPECT_EQ(apply_ini_document(document, out),
            "Unknown section 'Names\\x00'."s);
}

// ---- read_settings: the whole message, and out only on success ----

std::string fatal(const std::string& path, const std::string& detail) {
  return "Error in file '" + path + "'.\n" + detail + "\nProgram aborted.";
}

struct file_fault_case {
  const char* title;
  std::string text;
  std::string detail;
};

std::ostream& operator<<(std::ostream& out, const file_fault_case& c) {
  return out << c.title;
}

class read_settings_fault : public ::testing::TestWithParam<file_fault_case> {};

TEST_P(read_settings_fault, message_and_out_unchanged) {
  const file_fault_case& c = GetParam();
  temp_dir dir;
  std::string path = dir.write("quillpack.ini", c.text);
  pack_settings out = make_settings(FROM_KEEP, "b", "e", ".x", ".y");
  EXPECT_EQ(read_settings(path, out), fatal(path, c.detail));
  expect_settings(out, make_settings(FROM_KEEP, "b", "e", ".x", ".y"));
}

const file_fault_case file_fault_cases[] = {
    {"empty", "", "No section found."},
    {"comments_only", "; a\r\n\r\n; b\r\n", "No section found."},
    {"invalid_line_4", "; c\n\n[Names]\n[]\n", "Invalid section on line 4."},
    {"no_bracket_line_2", "[Names]\n[FromLines\n",
     "Invalid section on line 2."},
    {"duplicate_section", "[Names]\n\n[NAMES]\n", "Duplicate name on line 3."},
    {"duplicate_key", "[FromLines]\nChangeAllowed=true\nchangeallowed=true\n",
     "Duplicate name on line 3."},
    {"structure_before_meaning", "[Foo]\n[foo]\n", "Duplicate name on line 2."},
    {"unknown_section", "[Foo]\n", "Unknown section 'Foo'."},
    {"unknown_key", "[Names]\nFoo=1\n", "Section 'Names': Unknown key 'Foo'."},
    {"bad_value", "[FromLines]\nChangeAllowed=no\n",
     "Section 'FromLines': Key 'ChangeAllowed' cannot take value 'no'."},
    {"bad_character", "[Names]\nMboxExtension=mbox\nFolderExtension=a?\n",
     "Key 'FolderExtension': Character(s) '?' not allowed in file names on "
     "Windows."},
    {"equal", "[Names]\nMboxExtension=a\nFolderExtension=A\n",
     "Values of 'MboxExtension' and 'FolderExtension' must not be equal."},
    {"too_large", "[Names]\n" + std::string(ini_size_limit, ';'),
     "File larger than 1 MiB."},
};

INSTANTIATE_TEST_SUITE_P(
    all, read_settings_fault, ::testing::ValuesIn(file_fault_cases),
    [](const ::testing::TestParamInfo<file_fault_case>& info) {
      return std::string(info.param.title);
    });

TEST(read_settings, missing_file_is_no_fault) {
  temp_dir dir;
  pack_settings out = make_settings(FROM_ALL, "b", "e", ".x", ".y");
  EXPECT_EQ(read_settings(dir.path() + "quillpack.ini", out), "");
  expect_settings(out, make_settings(FROM_ALL, "b", "e", ".x", ".y"));
}

TEST(read_settings, valid_file_sets_out) {
  temp_dir dir;
  std::string path = dir.write(
      "quillpack.ini",
      "[FromLines]\r\nChangeAllowed = TRUE\r\ndonotchange-begin = B\r\n"
      "donotchange-end = E\r\n[Names]\r\nMboxExtension = .mbox\r\n"
      "FolderExtension = sbd");
  pack_settings out;
  EXPECT_EQ(read_settings(path, out), "");
  expect_settings(out, make_settings(FROM_GUARDED, "B", "E", ".mbox", ".sbd"));
}

// ---- The process-wide settings ----

class settings_global : public ::testing::Test {
 protected:
  void SetUp() override {
    set_default_settings();
  }
  void TearDown() override {
    set_default_settings();
  }
};

TEST_F(settings_global, defaults) {
  temp_dir dir;
  load_settings(dir.write("quillpack.ini",
                          "[FromLines]\nChangeAllowed=true\n"
                          "[Names]\nMboxExtension=mbox\n"));
  set_default_settings();
  expect_settings(current_settings(),
                  make_settings(FROM_KEEP, "", "", ".mbx", ""));
}

TEST_F(settings_global, ini_path_beside_the_executable) {
  std::string path = executable_ini_path();
  EXPECT_EQ(path, file_directory(own_path()) + "quillpack.ini");
  ASSERT_GT(path.size(), std::string("/quillpack.ini").size());
  EXPECT_EQ(path[path.size() - 14], native_style.separator);
}

TEST_F(settings_global, load_missing_file_keeps_defaults) {
  temp_dir dir;
  load_settings(dir.path() + "quillpack.ini");
  expect_settings(current_settings(), defaults);
}

TEST_F(settings_global, load_valid_file) {
  temp_dir dir;
  load_settings(dir.write("quillpack.ini",
                          "[FromLines]\nChangeAllowed=true\n"
                          "[Names]\nMboxExtension=mbox\n"));
  expect_settings(current_settings(),
                  make_settings(FROM_ALL, "", "", ".mbox", ""));
}

// A faulty file comes back as the message that ends the run, with exit
// code 3; the settings keep what they were.
TEST_F(settings_global, a_faulty_file_is_a_message_and_exit_code_3) {
  temp_dir dir;
  struct {
    const char* name;
    const char* text;
    const char* detail;
  } const cases[] = {
      {"empty.ini", "", "No section found."},
      {"invalid.ini", "[A]\n\n[]\n", "Invalid section on line 3."},
      {"duplicate.ini", "[Names]\nx\n[names]\n", "Duplicate name on line 3."},
      {"unknown.ini", "[Names]\nFoo=1\n",
       "Section 'Names': Unknown key 'Foo'."},
      {"colon.ini", "[Names]\nMboxExtension=:\n",
       "Key 'MboxExtension': Character(s) ':' not allowed in file names on "
       "Windows."},
  };
  for (const auto& c : cases) {
    std::string path = dir.write(c.name, c.text);
    std::pair<std::string, int> outcome = load_settings(path);
    EXPECT_EQ(outcome.first, "Error in file '" + path + "'.\n" + c.detail +
                                 "\nProgram aborted.")
        << c.name;
    EXPECT_EQ(outcome.second, exit_fatal) << c.name;
    expect_settings(current_settings(), defaults);
  }
}

}  // namespace
}  // namespace qp
