#include "pack/mime_parts.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/utf8.h"

namespace qp {
namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && is_space(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && is_space(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    c = ascii_lower(c);
  }
  return out;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  c = ascii_lower(c);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The byte of "%XX" or "=XX" at text[at + 1], -1 for none.
int escaped_byte(std::string_view text, size_t at) {
  if (at + 2 >= text.size()) {
    return -1;
  }
  const int high = hex_value(text[at + 1]);
  const int low = hex_value(text[at + 2]);
  return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// Bytes of a charset as UTF-8: ISO-8859-1 maps byte for byte; UTF-8 and
// US-ASCII stay; any other stays as it is, and will match no name.
std::string to_utf8(std::string bytes, std::string_view charset) {
  const std::string name = lower(charset);
  if (name != "iso-8859-1" && name != "latin1" && name != "iso_8859-1") {
    return bytes;
  }
  std::string out;
  for (char c : bytes) {
    append_utf8(static_cast<unsigned char>(c), out);
  }
  return out;
}

std::string percent_decoded(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const int byte = text[i] == '%' ? escaped_byte(text, i) : -1;
    if (byte >= 0) {
      out.push_back(static_cast<char>(byte));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// The parameters of a value by their names in lower case, values
// unquoted.
std::map<std::string, std::string> parameters(std::string_view value) {
  std::map<std::string, std::string> found;
  size_t at = value.find(';');
  while (at != std::string_view::npos && at < value.size()) {
    ++at;
    const size_t equals = value.find('=', at);
    if (equals == std::string_view::npos) {
      break;
    }
    const std::string name = lower(trimmed(value.substr(at, equals - at)));
    at = equals + 1;
    while (at < value.size() && is_space(value[at])) {
      ++at;
    }
    std::string text;
    if (at < value.size() && value[at] == '"') {
      for (++at; at < value.size() && value[at] != '"'; ++at) {
        if (value[at] == '\\' && at + 1 < value.size()) {
          ++at;
        }
        text.push_back(value[at]);
      }
      at = value.find(';', at);
    } else {
      const size_t end = value.find(';', at);
      text = std::string(trimmed(value.substr(at, end - at)));
      at = end;
    }
    found.emplace(name, text);
  }
  return found;
}

// "charset'language'text" of RFC 2231, decoded.
std::string extended_value(std::string_view text) {
  const size_t first = text.find('\'');
  const size_t second = first == std::string_view::npos
                            ? std::string_view::npos
                            : text.find('\'', first + 1);
  if (second == std::string_view::npos) {
    return percent_decoded(text);
  }
  return to_utf8(percent_decoded(text.substr(second + 1)),
                 text.substr(0, first));
}

std::string continued_value(const std::map<std::string, std::string>& found,
                            const std::string& name) {
  std::string joined;
  std::string charset;
  for (int section = 0;; ++section) {
    const std::string key = name + "*" + std::to_string(section);
    auto plain = found.find(key);
    auto encoded = found.find(key + "*");
    if (encoded != found.end()) {
      std::string_view text = encoded->second;
      if (section == 0) {
        const size_t first = text.find('\'');
        const size_t second = first == std::string_view::npos
                                  ? std::string_view::npos
                                  : text.find('\'', first + 1);
        if (second != std::string_view::npos) {
          charset = std::string(text.substr(0, first));
          text.remove_prefix(second + 1);
        }
      }
      joined += percent_decoded(text);
    } else if (plain != found.end()) {
      joined += plain->second;
    } else {
      break;
    }
  }
  return to_utf8(joined, charset);
}

std::string base64_decoded(std::string_view text) {
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (char c : text) {
    int value = -1;
    if (c >= 'A' && c <= 'Z') {
      value = c - 'A';
    } else if (c >= 'a' && c <= 'z') {
      value = c - 'a' + 26;
    } else if (c >= '0' && c <= '9') {
      value = c - '0' + 52;
    } else if (c == '+') {
      value = 62;
    } else if (c == '/') {
      value = 63;
    }
    if (value < 0) {
      continue;
    }
    bits = (bits << 6) | static_cast<unsigned>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<char>((bits >> count) & 0xff));
    }
  }
  return out;
}

std::string q_decoded(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const int byte = text[i] == '=' ? escaped_byte(text, i) : -1;
    if (byte >= 0) {
      out.push_back(static_cast<char>(byte));
      i += 2;
    } else {
      out.push_back(text[i] == '_' ? ' ' : text[i]);
    }
  }
  return out;
}

// The encoded word "=?charset?B?text?=" at text[at]: its decoded text and
// its length, 0 when none begins there.
size_t encoded_word(std::string_view text, size_t at, std::string& decoded) {
  if (text.compare(at, 2, "=?") != 0) {
    return 0;
  }
  const size_t charset_end = text.find('?', at + 2);
  if (charset_end == std::string_view::npos || charset_end + 2 >= text.size() ||
      text[charset_end + 2] != '?') {
    return 0;
  }
  const size_t end = text.find("?=", charset_end + 3);
  if (end == std::string_view::npos) {
    return 0;
  }
  std::string_view charset = text.substr(at + 2, charset_end - at - 2);
  charset = charset.substr(0, charset.find('*'));  // RFC 2231 language
  const char encoding = ascii_lower(text[charset_end + 1]);
  const std::string_view body =
      text.substr(charset_end + 3, end - charset_end - 3);
  if (encoding != 'b' && encoding != 'q') {
    return 0;
  }
  decoded = to_utf8(encoding == 'b' ? base64_decoded(body) : q_decoded(body),
                    charset);
  return end + 2 - at;
}

constexpr char base64_alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void append_base64_group(const unsigned char* bytes, size_t count,
                         std::string& out) {
  const unsigned value =
      (static_cast<unsigned>(bytes[0]) << 16) |
      (count > 1 ? static_cast<unsigned>(bytes[1]) << 8 : 0) |
      (count > 2 ? static_cast<unsigned>(bytes[2]) : 0);
  out.push_back(base64_alphabet[(value >> 18) & 63]);
  out.push_back(base64_alphabet[(value >> 12) & 63]);
  out.push_back(count > 1 ? base64_alphabet[(value >> 6) & 63] : '=');
  out.push_back(count > 2 ? base64_alphabet[value & 63] : '=');
}

void append_base64_line(std::string_view bytes, std::string& out) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t i = 0; i < bytes.size(); i += 3) {
    append_base64_group(data + i, std::min<size_t>(3, bytes.size() - i), out);
  }
  out.push_back('\n');
}

constexpr size_t base64_line_bytes = 57;  // 76 characters
constexpr size_t qp_line_limit = 76;

// Appends an encoded token to the line, with a soft break first when the
// line would grow past its limit (the "=" of the break included).
void put_token(quoted_printable_state& state, std::string_view token,
               std::string& out) {
  if (state.line.size() + token.size() + 1 > qp_line_limit) {
    out.append(state.line).append("=\n");
    state.line.clear();
  }
  state.line.append(token);
}

void put_hex(quoted_printable_state& state, unsigned char byte,
             std::string& out) {
  const char hex[] = "0123456789ABCDEF";
  const char token[] = {'=', hex[byte >> 4], hex[byte & 15]};
  put_token(state, std::string_view(token, 3), out);
}

void flush_space(quoted_printable_state& state, bool at_line_end,
                 std::string& out) {
  if (state.pending_space == 0) {
    return;
  }
  const char space = state.pending_space;
  state.pending_space = 0;
  if (at_line_end) {
    put_hex(state, static_cast<unsigned char>(space), out);
  } else {
    put_token(state, std::string_view(&space, 1), out);
  }
}

void put_byte(quoted_printable_state& state, unsigned char byte,
              std::string& out) {
  flush_space(state, false, out);
  if (byte == ' ' || byte == '\t') {
    state.pending_space = static_cast<char>(byte);
  } else if (byte < 33 || byte > 126 || byte == '=' ||
             (byte == 'F' && state.line.empty())) {
    put_hex(state, byte, out);
  } else {
    const char c = static_cast<char>(byte);
    put_token(state, std::string_view(&c, 1), out);
  }
}

void end_line(quoted_printable_state& state, std::string& out) {
  flush_space(state, true, out);
  out.append(state.line).push_back('\n');
  state.line.clear();
}

}  // namespace

bool is_field(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':') {
    return false;
  }
  for (size_t i = 0; i < name.size(); ++i) {
    if (ascii_lower(line[i]) != ascii_lower(name[i])) {
      return false;
    }
  }
  return true;
}

std::string_view field_value(std::string_view field) {
  const size_t colon = field.find(':');
  return colon == std::string_view::npos ? std::string_view()
                                         : trimmed(field.substr(colon + 1));
}

std::string value_token(std::string_view value) {
  return lower(trimmed(value.substr(0, value.find(';'))));
}

std::string parameter(std::string_view value, std::string_view name) {
  const std::map<std::string, std::string> found = parameters(value);
  const std::string key = lower(name);
  auto extended = found.find(key + "*");
  if (extended != found.end()) {
    return extended_value(extended->second);
  }
  if (found.count(key + "*0") || found.count(key + "*0*")) {
    return continued_value(found, key);
  }
  auto plain = found.find(key);
  return plain == found.end() ? std::string()
                              : decode_encoded_words(plain->second);
}

std::string decode_encoded_words(std::string_view text) {
  std::string out;
  std::string between;  // spaces after an encoded word, dropped before one
  bool after_word = false;
  for (size_t at = 0; at < text.size();) {
    std::string decoded;
    if (const size_t length = encoded_word(text, at, decoded)) {
      if (!after_word) {
        out += between;
      }
      between.clear();
      out += decoded;
      after_word = true;
      at += length;
    } else if (is_space(text[at])) {
      between.push_back(text[at++]);
    } else {
      out += between;
      between.clear();
      out.push_back(text[at++]);
      after_word = false;
    }
  }
  return out + between;
}

std::string base64_lines(std::string_view bytes, std::string& carry,
                         bool at_end) {
  std::string out;
  if (!carry.empty()) {
    const size_t take =
        std::min(bytes.size(), base64_line_bytes - carry.size());
    carry.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    if (carry.size() == base64_line_bytes) {
      append_base64_line(carry, out);
      carry.clear();
    }
  }
  while (bytes.size() >= base64_line_bytes) {
    append_base64_line(bytes.substr(0, base64_line_bytes), out);
    bytes.remove_prefix(base64_line_bytes);
  }
  carry.append(bytes);
  if (at_end && !carry.empty()) {
    append_base64_line(carry, out);
    carry.clear();
  }
  return out;
}

std::string quoted_printable(std::string_view bytes,
                             quoted_printable_state& state, bool at_end) {
  std::string out;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (state.pending_cr) {
      state.pending_cr = false;
      if (byte == '\n') {
        end_line(state, out);
        continue;
      }
      put_byte(state, '\r', out);
    }
    if (byte == '\r') {
      state.pending_cr = true;
    } else if (byte == '\n') {
      end_line(state, out);
    } else {
      put_byte(state, byte, out);
    }
  }
  if (at_end) {
    if (state.pending_cr) {
      state.pending_cr = false;
      put_byte(state, '\r', out);
    }
    flush_space(state, true, out);
    out.append(state.line);
    state.line.clear();
  }
  return out;
}

}  // namespace qp
