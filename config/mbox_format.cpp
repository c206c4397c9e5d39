#include "config/mbox_format.h"

#include <string>

#include "base/paths.h"

namespace qp {
namespace {

// One key of the section: its fixed name for messages, its two values in
// lower case (the default first) and where the choice goes.
struct two_way_key {
  const char* name;
  const char* first;
  const char* second;
};

// 0 or 1 for the first or second value (any letter case), -1 for any
// other value, the empty one included.
int choose(const two_way_key& key, const std::string& value) {
  std::string word = to_lower(value);
  if (word == key.first) {
    return 0;
  }
  if (word == key.second) {
    return 1;
  }
  return -1;
}

const two_way_key line_ends_key = {"LineEnds", "crlf", "lf"};
const two_way_key empty_line_key = {"EmptyLineBetween", "false", "true"};
const two_way_key separator_date_key = {"SeparatorDate", "fixed", "header"};
const two_way_key quoting_key = {"Quoting", "space", "mboxrd"};

}  // namespace

std::string apply_mbox_section(
    const std::vector<std::pair<std::string, std::string>>& entries,
    mbox_format& out) {
  for (const auto& [key, value] : entries) {
    std::string name = to_lower(key);
    const two_way_key* known = nullptr;
    if (name == "lineends") {
      known = &line_ends_key;
    } else if (name == "emptylinebetween") {
      known = &empty_line_key;
    } else if (name == "separatordate") {
      known = &separator_date_key;
    } else if (name == "quoting") {
      known = &quoting_key;
    } else if (name.empty()) {
      continue;  // comments and lines without "="
    } else {
      return "Section 'Mbox': Unknown key '" + key + "'.";
    }
    int choice = choose(*known, value);
    if (choice < 0) {
      return std::string("Section 'Mbox': Key '") + known->name +
             "' cannot take value '" + value + "'.";
    }
    if (known == &line_ends_key) {
      out.line_ends = choice ? LINE_ENDS_LF : LINE_ENDS_CRLF;
    } else if (known == &empty_line_key) {
      out.empty_line_between = choice == 1;
    } else if (known == &separator_date_key) {
      out.separator_date = choice ? SEPARATOR_HEADER : SEPARATOR_FIXED;
    } else {
      out.quoting = choice ? QUOTING_MBOXRD : QUOTING_SPACE;
    }
  }
  return std::string();
}

}  // namespace qp
