#include "base/arguments.h"

namespace qp {
namespace {

bool is_separator_char(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

}  // namespace

std::vector<std::string> split_arguments(const std::string& text) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = text.size();
  while (true) {
    while (i < n && is_separator_char(text[i])) {
      ++i;
    }
    if (i >= n) {
      break;
    }
    if (text[i] == '"') {
      // A quoted argument runs to the next quote; whatever follows that
      // quote begins the next argument.
      size_t close = text.find('"', i + 1);
      if (close == std::string::npos) {
        args.push_back(text.substr(i + 1));
        break;
      }
      args.push_back(text.substr(i + 1, close - i - 1));
      i = close + 1;
    } else {
      size_t end = i;
      while (end < n && !is_separator_char(text[end])) {
        ++end;
      }
      args.push_back(text.substr(i, end - i));
      i = end;
    }
  }
  return args;
}

std::vector<std::string> split_command_line(const std::string& line) {
  std::vector<std::string> args = split_arguments(line);
  if (!args.empty()) {
    args.erase(args.begin());
  }
  return args;
}

}  // namespace qp
