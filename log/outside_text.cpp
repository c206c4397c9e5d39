#include "log/outside_text.h"

#include <cstdint>

namespace qp {
namespace {

// The length of the valid UTF-8 sequence at text[at] and its code point;
// 0 when the bytes there are no valid sequence (a stray continuation byte,
// a sequence cut short, an overlong form, a surrogate, past U+10FFFF).
size_t utf8_sequence(const std::string& text, size_t at, uint32_t& point) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  size_t length;
  uint32_t minimum;
  if (lead < 0x80) {
    point = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, point = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, point = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() - at < length) {
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) {
      return 0;
    }
    point = (point << 6) | (next & 0x3F);
  }
  if (point < minimum || point > 0x10FFFF ||
      (point >= 0xD800 && point <= 0xDFFF)) {
    return 0;
  }
  return length;
}

bool is_control(uint32_t point) {
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

std::string escape_outside_text(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    uint32_t point = 0;
    const size_t length = utf8_sequence(text, at, point);
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
    uint32_t point = 0;
    const size_t length = utf8_sequence(text, at, point);
    at += length == 0 ? 1 : length;
  }
  return text.substr(0, at);
}

size_t character_count(const std::string& text) {
  size_t count = 0;
  size_t at = 0;
  while (at < text.size()) {
    uint32_t point = 0;
    const size_t length = utf8_sequence(text, at, point);
    at += length == 0 ? 1 : length;
    ++count;
  }
  return count;
}

}  // namespace qp
