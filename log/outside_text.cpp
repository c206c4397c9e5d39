#include "log/outside_text.h"

#include "base/utf8.h"

namespace qp {
namespace {

bool is_control(char32_t point) {
  return point < 0x20 || (point >= 0x7F && point <= 0x9F);
}

void append_escaped(std::string& out, const std::string& text, size_t at,
                    size_t length) {
  static const char digits[] = "0123456789ABCDEF";
  for (size_t i = at; i < at + length; ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    out += "\\x";
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
  }
}

}  // namespace

std::string quote_outside_text(const std::string& text) {
  return "'" + escape_outside_text(text) + "'";
}

std::string escape_outside_text(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    char32_t point = 0;
    const size_t length = decode_utf8(text, at, point);
    if (length == 0) {
      append_escaped(out, text, at, 1);
      ++at;
      continue;
    }
    if (is_control(point)) {
      append_escaped(out, text, at, length);
    } else {
      out.append(text, at, length);
    }
    at += length;
  }
  return out;
}

std::string first_characters(const std::string& text, size_t count) {
  size_t at = 0;
  for (size_t taken = 0; at < text.size() && taken < count; ++taken) {
    char32_t point = 0;
    const size_t length = decode_utf8(text, at, point);
    at += length == 0 ? 1 : length;
  }
  return text.substr(0, at);
}

size_t character_count(const std::string& text) {
  size_t count = 0;
  size_t at = 0;
  while (at < text.size()) {
    char32_t point = 0;
    const size_t length = decode_utf8(text, at, point);
    at += length == 0 ? 1 : length;
    ++count;
  }
  return count;
}

}  // namespace qp
