#include "tests/support/listings.h"

#include "base/paths.h"

namespace qp {
namespace testing_support {

std::vector<std::string> all_lines(source_file* source) {
  std::vector<std::string> lines;
  std::string line;
  while (read_line(source, line)) {
    lines.push_back(line);
  }
  return lines;
}

std::string with_slashes(std::string text) {
  for (char& c : text) {
    c = c == native_style.separator ? '/' : c;
  }
  return text;
}

std::string describe(const collection_list& list) {
  std::string text;
  if (!list.source_name.empty()) {
    text += "source " + list.source_name + "\n";
  }
  for (const source_group& group : list.groups) {
    text.append(group.relative_directory).append("|").append(group.name);
    text += ":";
    for (const source_entry& entry : group.files) {
      text.append(" ").append(entry.name);
    }
    text += "\n";
  }
  return with_slashes(text);
}

}  // namespace testing_support
}  // namespace qp
