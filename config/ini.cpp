// The INI file reader: sections and key=value lines, structure only. The
// meaning of sections, keys and values is the settings' business.
#include "config/ini.h"

#include <cstdio>
#include <string>
#include <unordered_set>
#include <utility>

#include "base/paths.h"

namespace qp {

namespace {

// Whitespace of the INI reader: blank, tab, carriage return, line feed.
const std::string ini_whitespace = " \t\r\n";

// ---- The reader's state over one call ----

struct ini_reader {
  ini_document document;
  std::string name;  // of the current section; empty before the first header
  std::vector<std::pair<std::string, std::string>> entries;
  // Lower-cased names of the sections closed so far.
  std::unordered_set<std::string> closed_names;
  // Lower-cased keys of the current section's pairs, the empty key included
  // once any pair with an empty key is stored. A set rather than a scan of
  // the entries, so that a file of many keys stays linear.
  std::unordered_set<std::string> keys;
};

ini_result fault(ini_status status, int line) {
  ini_result result;  // the document of a fault is empty
  result.status = status;
  result.line = line;
  return result;
}

void add_pair(ini_reader& reader, std::string key, std::string value) {
  reader.keys.insert(to_lower(key));
  reader.entries.emplace_back(std::move(key), std::move(value));
}

// Appends the current section to the document and remembers its
// lower-cased name, when it has a name or holds any pair.
void close_section(ini_reader& reader) {
  if (reader.name.empty() && reader.entries.empty()) {
    return;
  }
  reader.closed_names.insert(to_lower(reader.name));
  ini_section section;
  section.name = std::move(reader.name);
  section.entries = std::move(reader.entries);
  reader.document.sections.push_back(std::move(section));
  reader.name.clear();
  reader.entries.clear();
  reader.keys.clear();
}

// A header line. INI_OK, or the fault of this line.
ini_status read_header(ini_reader& reader, const std::string& line) {
  close_section(reader);
  std::string::size_type close = line.find(']');
  if (close == std::string::npos || close == 1) {
    return INI_INVALID_SECTION;  // no "]", or the header "[]"
  }
  // Between "[" and the first "]", untrimmed; the rest of the line is ignored.
  std::string name = line.substr(1, close - 1);
  // Compared with the sections closed so far. The current section has been
  // closed just above (its name is never empty once a header was read), so
  // a header repeating the one directly before it is caught as well.
  if (reader.closed_names.count(to_lower(name)) != 0) {
    return INI_DUPLICATE_NAME;
  }
  reader.name = std::move(name);
  return INI_OK;
}

// A key line inside a section. INI_OK or INI_DUPLICATE_NAME.
ini_status read_key_line(ini_reader& reader, const std::string& line) {
  std::string::size_type equals = line.find('=');
  if (equals == std::string::npos) {
    add_pair(reader, std::string(), line);  // no "=": empty key, no check
    return INI_OK;
  }
  std::string key = trim_right(line.substr(0, equals), ini_whitespace);
  if (reader.keys.count(to_lower(key)) != 0) {
    return INI_DUPLICATE_NAME;
  }
  add_pair(reader, std::move(key),
           trim_left(line.substr(equals + 1), ini_whitespace));
  return INI_OK;
}

// One physical line (without its line feed).
ini_status read_line(ini_reader& reader, const std::string& raw) {
  std::string line = trim(raw, ini_whitespace);
  if (line.empty()) {
    return INI_OK;
  }
  if (line[0] == '[') {
    return read_header(reader, line);
  }
  if (line[0] == ';' || reader.name.empty()) {
    // A comment, or a line of the leading block (even one with "="): a pair
    // with an empty key, stored without the duplicate check.
    add_pair(reader, std::string(), line);
    return INI_OK;
  }
  return read_key_line(reader, line);
}

}  // namespace

// Lines end at a line feed, a CR LF pair or a lone carriage return, as
// they do in the messages: a file saved with CR line ends must not read as
// one line whose keys are all passed over. A last line without a line end
// counts as a line. Every other byte, NUL, 0x1A and bytes above 127
// included, is text; the settings judge what a value may hold.
ini_result parse_ini_text(const std::string& text) {
  ini_reader reader;
  int line_number = 0;
  // Editors put a UTF-8 byte order mark in front; it is no text of line 1.
  const std::string byte_order_mark = "\xEF\xBB\xBF";
  std::string::size_type start =
      text.compare(0, byte_order_mark.size(), byte_order_mark) == 0
          ? byte_order_mark.size()
          : 0;
  while (start < text.size()) {
    std::string::size_type end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      end = text.size();
    }
    ++line_number;
    ini_status status = read_line(reader, text.substr(start, end - start));
    if (status != INI_OK) {
      return fault(status, line_number);
    }
    start = end + 1;
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') {
      ++start;  // the LF of a CR LF pair
    }
  }
  if (reader.name.empty()) {
    return fault(INI_NO_SECTION, 0);
  }
  close_section(reader);
  ini_result result;
  result.document = std::move(reader.document);
  return result;
}

// Read as raw bytes (the line rules above stand in for text mode), opened
// as a source is: by its UTF-8 name on every system, and only when it is a
// regular file. A file that opens but cannot be read is unreadable: it
// counts as cannot be opened. At most one byte past the limit is read, so
// that a huge file costs no more memory than a valid one.
ini_result parse_ini(const std::string& path) {
  std::FILE* file = open_regular_file(path);
  if (file == nullptr) {
    return fault(INI_CANNOT_OPEN, 0);
  }
  std::string text;
  char buffer[65536];
  std::size_t count;
  while (text.size() <= ini_size_limit &&
         (count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    text.append(buffer, count);
  }
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    return fault(INI_CANNOT_OPEN, 0);
  }
  if (text.size() > ini_size_limit) {
    return fault(INI_TOO_LARGE, 0);
  }
  return parse_ini_text(text);
}

}  // namespace qp
