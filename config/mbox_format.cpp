#include "config/mbox_format.h"

#include <string>

#include "base/paths.h"
#include "log/outside_text.h"

namespace qp {
namespace {

// One key of the section: its name as messages show it, its two values in
// lower case (the default first), and what the choice sets.
struct two_way_key {
  const char* name;
  const char* first;
  const char* second;
  void (*apply)(bool second, mbox_format& out);
};

const two_way_key mbox_keys[] = {
    {"LineEnds", "crlf", "lf",
     [](bool lf, mbox_format& out) {
       out.line_ends = lf ? LINE_ENDS_LF : LINE_ENDS_CRLF;
     }},
    {"EmptyLineBetween", "false", "true",
     [](bool on, mbox_format& out) { out.empty_line_between = on; }},
    {"SeparatorDate", "fixed", "header",
     [](bool header, mbox_format& out) {
       out.separator_date = header ? SEPARATOR_HEADER : SEPARATOR_FIXED;
     }},
    {"Quoting", "space", "mboxrd",
     [](bool mboxrd, mbox_format& out) {
       out.quoting = mboxrd ? QUOTING_MBOXRD : QUOTING_SPACE;
     }},
    {"Order", "name", "date",
     [](bool date, mbox_format& out) {
       out.order = date ? ORDER_DATE : ORDER_NAME;
     }},
    {"Duplicates", "keep", "skip",
     [](bool skip, mbox_format& out) {
       out.duplicates = skip ? DUPLICATES_SKIP : DUPLICATES_KEEP;
     }},
    {"Marks", "keep", "none",
     [](bool none, mbox_format& out) {
       out.marks = none ? MARKS_NONE : MARKS_KEEP;
     }},
};

const two_way_key* find_key(const std::string& lower_name) {
  for (const two_way_key& key : mbox_keys) {
    if (to_lower(key.name) == lower_name) {
      return &key;
    }
  }
  return nullptr;
}

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

}  // namespace

std::string apply_mbox_section(
    const std::vector<std::pair<std::string, std::string>>& entries,
    mbox_format& out) {
  for (const auto& [key, value] : entries) {
    std::string name = to_lower(key);
    if (name.empty()) {
      continue;  // comments and lines without "="
    }
    const two_way_key* known = find_key(name);
    if (known == nullptr) {
      return "Section 'Mbox': Unknown key " + quote_outside_text(key) + ".";
    }
    int choice = choose(*known, value);
    if (choice < 0) {
      return std::string("Section 'Mbox': Key '") + known->name +
             "' cannot take value " + quote_outside_text(value) + ".";
    }
    known->apply(choice == 1, out);
  }
  return std::string();
}

}  // namespace qp
