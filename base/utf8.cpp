// Conversions between UTF-8 and UTF-16.
#include "base/utf8.h"

namespace qp {
namespace {

bool is_continuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// The range that the second byte of a sequence led by lead must fall in:
// it rules out overlong forms, surrogates and code points past U+10FFFF.
void second_byte_range(unsigned char lead, bool allow_surrogates,
                       unsigned char& low, unsigned char& high) {
  low = 0x80;
  high = 0xBF;
  if (lead == 0xE0) {
    low = 0xA0;
  } else if (lead == 0xED && !allow_surrogates) {
    high = 0x9F;
  } else if (lead == 0xF0) {
    low = 0x90;
  } else if (lead == 0xF4) {
    high = 0x8F;
  }
}

// The length of the sequence that lead begins, 0 for a byte that begins none.
size_t sequence_length(unsigned char lead) {
  if (lead < 0x80) {
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    return 2;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    return 4;
  }
  return 0;
}

}  // namespace

size_t decode_utf8(std::string_view text, size_t at, char32_t& code,
                   bool allow_surrogates) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  const size_t length = sequence_length(lead);
  if (length == 0 || text.size() - at < length) {
    return 0;
  }
  if (length == 1) {
    code = lead;
    return 1;
  }
  unsigned char low, high;
  second_byte_range(lead, allow_surrogates, low, high);
  const unsigned char second = static_cast<unsigned char>(text[at + 1]);
  if (second < low || second > high) {
    return 0;
  }
  char32_t value = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[at + i]);
    if (!is_continuation(byte)) {
      return 0;
    }
    value = (value << 6) | (byte & 0x3F);
  }
  code = value;
  return length;
}

bool is_ascii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      return false;
    }
  }
  return true;
}

bool is_valid_utf8(std::string_view text) {
  char32_t code;
  for (size_t at = 0; at < text.size();) {
    const size_t length = decode_utf8(text, at, code);
    if (length == 0) {
      return false;
    }
    at += length;
  }
  return true;
}

std::u16string utf8_to_utf16(std::string_view text) {
  std::u16string units;
  units.reserve(text.size());
  char32_t code;
  for (size_t at = 0; at < text.size();) {
    const size_t length = decode_utf8(text, at, code, true);
    if (length == 0) {
      units += u'\uFFFD';
      ++at;
      continue;
    }
    at += length;
    if (code >= 0x10000) {
      code -= 0x10000;
      units += static_cast<char16_t>(0xD800 + (code >> 10));
      units += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      units += static_cast<char16_t>(code);
    }
  }
  return units;
}

void append_utf8(char32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::string utf16_to_utf8(std::u16string_view units) {
  std::string text;
  text.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    const char32_t unit = units[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      append_utf8(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00),
                  text);
      ++i;
    } else {
      append_utf8(unit, text);  // a lone surrogate keeps its value
    }
  }
  return text;
}

}  // namespace qp
