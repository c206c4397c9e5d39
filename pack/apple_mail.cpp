#include "pack/apple_mail.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/paths.h"
#include "pack/partial_parts.h"

namespace qp {
namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

size_t skip_spaces(std::string_view text, size_t at) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t' ||
                              text[at] == '\r' || text[at] == '\n')) {
    ++at;
  }
  return at;
}

// The digits at text[at], which move at past them; false for none or a
// number past 64 bits.
bool read_number(std::string_view text, size_t& at, uint64_t& value) {
  const size_t first = at;
  value = 0;
  for (; at < text.size() && is_digit(text[at]); ++at) {
    const uint64_t digit = static_cast<uint64_t>(text[at] - '0');
    if (value > (UINT64_MAX - digit) / 10) {
      return false;
    }
    value = value * 10 + digit;
  }
  return at > first;
}

// A property list is short; more than this is no list of flags.
constexpr size_t plist_limit = 256 * 1024;
// The longest count line taken: 20 digits and the spaces around them.
constexpr size_t count_line_limit = 64;
// Enough of the line after it to see a field's name and colon.
constexpr size_t field_name_limit = 1024;

// A plain message, whose first byte is no digit or space, costs a look at
// the buffer that its transfer fills anyway.
bool starts_like_apple_mail(source_file* reader) {
  const int lead = peek_source_byte(reader);
  return (lead >= '0' && lead <= '9') || lead == ' ';
}

// A header field's name and colon at the start of text.
bool starts_with_field(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && text[at] > ' ' && text[at] < 127 &&
         text[at] != ':') {
    ++at;
  }
  const size_t name = at;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
    ++at;
  }
  return name > 0 && at < text.size() && text[at] == ':';
}

}  // namespace

size_t apple_count_line(std::string_view head, uint64_t& count) {
  size_t at = 0;
  while (at < head.size() && head[at] == ' ') {
    ++at;
  }
  if (!read_number(head, at, count)) {
    return 0;
  }
  while (at < head.size() && head[at] == ' ') {
    ++at;
  }
  return at < head.size() && head[at] == '\n' ? at + 1 : 0;
}

bool find_apple_flags(std::string_view plist, uint64_t& flags) {
  constexpr std::string_view key = "<key>flags</key>";
  constexpr std::string_view integer = "<integer>";
  for (size_t found = plist.find(key); found != std::string_view::npos;
       found = plist.find(key, found + 1)) {
    size_t at = skip_spaces(plist, found + key.size());
    if (plist.compare(at, integer.size(), integer) != 0) {
      continue;
    }
    at = skip_spaces(plist, at + integer.size());
    if (read_number(plist, at, flags) &&
        plist.compare(skip_spaces(plist, at), 2, "</") == 0) {
      return true;
    }
  }
  return false;
}

message_marks marks_of_apple_flags(uint64_t flags) {
  message_marks marks;
  marks.known = true;
  marks.read = (flags & 1) != 0;
  marks.deleted = (flags & 2) != 0;
  marks.answered = (flags & 4) != 0;
  marks.flagged = (flags & 16) != 0;
  marks.draft = (flags & 64) != 0;
  return marks;
}

bool is_partial_emlx_name(std::string_view name) {
  return ends_with_ignoring_case(name, ".partial.emlx");
}

void take_apple_mail_file(const std::string& path, message_source& source) {
  source_file* reader = source.reader;
  if (!starts_like_apple_mail(reader)) {
    return;
  }
  char head[count_line_limit + 1];
  uint64_t count = 0;
  const size_t start = apple_count_line(
      std::string_view(head, read_source_at(reader, 0, head, sizeof head)),
      count);
  const int64_t size = source_size(reader);
  if (start == 0 || size < 0 || static_cast<uint64_t>(size) < start ||
      count > static_cast<uint64_t>(size) - start) {
    return;  // a count past the end: no Apple Mail file
  }
  char field[field_name_limit];
  if (!starts_with_field(std::string_view(
          field, read_source_at(reader, static_cast<int64_t>(start), field,
                                sizeof field)))) {
    return;
  }
  const int64_t end = static_cast<int64_t>(start + count);
  std::vector<char> plist(
      static_cast<size_t>(std::min<int64_t>(size - end, plist_limit)));
  const size_t got = read_source_at(reader, end, plist.data(), plist.size());
  const std::string_view tail(plist.data(), got);
  if (tail.compare(0, 5, "<?xml") != 0 ||
      !set_source_range(reader, static_cast<int64_t>(start), end)) {
    return;
  }
  uint64_t flags = 0;
  find_apple_flags(tail, flags);
  source.kind = SOURCE_APPLE_MAIL;
  source.marks = marks_of_apple_flags(flags);
  if (is_partial_emlx_name(file_name(path))) {
    source.kind = SOURCE_APPLE_PARTIAL;
    restore_partial_parts(path, source);
  }
}

}  // namespace qp
