#include "app/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/process.h"
#include "base/program.h"

namespace qp {
namespace {

using args = std::vector<std::string>;

TEST(scan_options, options_and_repeats) {
  auto scan = [](args a) { return scan_options(a, false); };
  option_scan all = scan({"s", "o", "/P", "/i", "/A", "/s", "/D", "/u", "/U"});
  EXPECT_FALSE(all.syntax_error);
  EXPECT_TRUE(all.no_prompt);
  EXPECT_TRUE(all.minimised);
  EXPECT_TRUE(all.append);
  EXPECT_TRUE(all.recursive);
  EXPECT_TRUE(all.single_mbox);

  for (const char* option : {"/p", "/i", "/a", "/s", "/d"}) {
    EXPECT_TRUE(scan({"s", "o", option, option}).syntax_error) << option;
  }
  EXPECT_FALSE(scan({"s", "o", "/u", "/u", "/u"}).syntax_error);
  EXPECT_TRUE(scan({"s", "o", "/pa"}).syntax_error);
  EXPECT_TRUE(scan({"s", "o", "third"}).syntax_error);
  EXPECT_TRUE(scan({"s", "o", ""}).syntax_error);
  // The first two arguments are never options.
  option_scan leading = scan({"/p", "/s", "out"});
  EXPECT_TRUE(leading.syntax_error);
  EXPECT_FALSE(leading.no_prompt);
  EXPECT_FALSE(leading.recursive);
  // Scanning goes on behind a faulty argument.
  option_scan after = scan({"s", "o", "/x", "/p"});
  EXPECT_TRUE(after.syntax_error);
  EXPECT_TRUE(after.no_prompt);
}

TEST(scan_options, dash_options_follow_the_same_rules) {
  auto scan = [](args a) { return scan_options(a, false); };
  option_scan all = scan({"s", "o", "-P", "-i", "-A", "-s", "-D", "-u", "-U"});
  EXPECT_FALSE(all.syntax_error);
  EXPECT_TRUE(all.no_prompt && all.minimised && all.append && all.recursive &&
              all.single_mbox);
  const args faulty[] = {
      {"s", "o", "/s", "-s"}, {"s", "o", "-a", "/A"}, {"s", "o", "-sp"},
      {"s", "o", "-"},        {"s", "o", "--s"},      {"s", "o", "-x"},
  };
  for (const args& a : faulty) {
    EXPECT_TRUE(scan(a).syntax_error) << a.back();
  }
}

TEST(find_info_request, anywhere_and_first_one_wins) {
  struct row {
    args arguments;
    info_request expected;
  };
  const info_request none = info_request::none, help = info_request::help,
                     version = info_request::version;
  const std::string help_switch = native_habits.help_switch;
  const row rows[] = {
      {{}, none},
      {{"s", "o", "/p", "/s"}, none},
      {{"--help"}, help},
      {{"-h"}, help},
      {{"-H"}, help},
      {{"s", "o", "/x", "/s", "/s", "--HELP"}, help},
      {{"--version"}, version},
      {{"-V"}, version},
      {{"/p", "-v", "/bogus"}, version},
      {{"s", "-V", "--help"}, version},
      {{"--help", "-V"}, help},
      {{"s", "o", "-hv"}, none},
      {{"s", "o", "--he"}, none},
      {{"s", "o", "/?"}, help_switch == "/?" ? help : none},
      {{"s", "o", "/h"}, none},
  };
  for (const row& r : rows) {
    EXPECT_EQ(find_info_request(r.arguments), r.expected)
        << (r.arguments.empty() ? "" : r.arguments.back());
  }
}

TEST(usage_text, banner_and_layout) {
  const std::string& text = usage_text();
  EXPECT_EQ(text.rfind(std::string(program_banner) + "    ", 0), 0u);
  std::vector<std::string> lines;
  size_t start = 0;
  while (true) {
    size_t nl = text.find('\n', start);
    lines.push_back(text.substr(start, nl - start));
    if (nl == std::string::npos) {
      break;
    }
    start = nl + 1;
  }
  // The platform's closing notes follow the twenty lines of both.
  std::string notes = native_habits.usage_notes;
  ASSERT_EQ(lines.size(), 20u + std::count(notes.begin(), notes.end(), '\n'));
  EXPECT_EQ(lines[4],
            "  Usage:     quillpack  <file specification>  <output directory>  "
            "[options]");
  EXPECT_EQ(lines[6], native_habits.usage_example);
  EXPECT_EQ(lines[11], "/i     The program starts as an icon in the taskbar.");
  EXPECT_EQ(
      lines[17],
      "/d   This option only has an effect in combination with option /s:");
  EXPECT_EQ(lines[19], "       together into the same mbox file.");
  EXPECT_EQ(text.substr(text.size() - notes.size()), notes);
}

TEST(usage_text, platform_example) {
  const std::string example = native_habits.usage_example;
  if (native_habits.help_switch == std::string("/?")) {
    EXPECT_EQ(example,
              "( Example:  quillpack  c:\\temp\\*.eml  c:\\data\\  /p /a )");
    EXPECT_EQ(std::string(native_habits.usage_notes), "");
  } else {
    EXPECT_EQ(example,
              "( Example:  quillpack  ~/mail/inbox/*.eml  ~/data/  /p /a )");
    EXPECT_NE(std::string(native_habits.usage_notes).find("./-name"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace qp
