// The shared path rules: string rules for both separator styles, trimming
// and ASCII case, and the operations built on the platform listing.
#include "base/paths.h"

#include <algorithm>

#include "base/tree_walk.h"

namespace qp {

// ---- String rules ----

int last_separator(const std::string& path, path_style style) {
  const size_t at = path.rfind(style.separator);
  if (at != std::string::npos) {
    return static_cast<int>(at) + 1;
  }
  // Without a separator, the drive colon of "c:name" ends the directory.
  const size_t colon = style.drive_colon ? path.find(':') : std::string::npos;
  return colon == std::string::npos ? 0 : static_cast<int>(colon) + 1;
}

std::string directory_part(const std::string& path, path_style style) {
  const size_t i = last_separator(path, style);
  if (i == path.size()) {
    return path;
  }
  if (path[i] != '.') {
    return path.substr(0, i);
  }
  // A last component such as "." or ".." names a directory, not a file.
  return path + style.separator;
}

std::string name_part(const std::string& path, path_style style) {
  const size_t i = last_separator(path, style);
  if (i == path.size() || path[i] == '.') {
    return "";
  }
  return path.substr(i);
}

std::string file_directory(const std::string& path, path_style style) {
  return path.substr(0, last_separator(path, style));
}

std::string file_name(const std::string& path, path_style style) {
  return path.substr(last_separator(path, style));
}

int last_separator(const std::string& path) {
  return last_separator(path, native_style);
}

std::string directory_part(const std::string& path) {
  return directory_part(path, native_style);
}

std::string name_part(const std::string& path) {
  return name_part(path, native_style);
}

std::string file_directory(const std::string& path) {
  return file_directory(path, native_style);
}

std::string file_name(const std::string& path) {
  return file_name(path, native_style);
}

// Control characters are no characters of a name either: NUL would cut the
// name short, and the others are refused by Windows or unreadable in a
// listing.
namespace {
bool is_bad_file_name_char(char c) {
  static const std::string bad = ":\"/\\?*<>|";
  unsigned char byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F || bad.find(c) != std::string::npos;
}
}  // namespace

std::string bad_file_name_chars(const std::string& text) {
  std::string found;
  for (char c : text) {
    if (is_bad_file_name_char(c) && found.find(c) == std::string::npos) {
      found += c;
    }
  }
  return found;
}

std::string trim_left(const std::string& text, const std::string& set) {
  const size_t first = text.find_first_not_of(set);
  return first == std::string::npos ? "" : text.substr(first);
}

std::string trim_right(const std::string& text, const std::string& set) {
  const size_t last = text.find_last_not_of(set);
  return last == std::string::npos ? "" : text.substr(0, last + 1);
}

std::string trim(const std::string& text, const std::string& set) {
  return trim_left(trim_right(text, set), set);
}

std::string ascii_upper(const std::string& text) {
  std::string result = text;
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return result;
}

std::string ascii_lower(const std::string& text) {
  std::string result = text;
  for (char& c : result) {
    c = ascii_lower(c);
  }
  return result;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) {
      return false;
    }
  }
  return true;
}

bool starts_with_ignoring_case(std::string_view text, std::string_view start) {
  return text.size() >= start.size() &&
         same_ignoring_case(text.substr(0, start.size()), start);
}

bool ends_with_ignoring_case(std::string_view text, std::string_view end) {
  return text.size() >= end.size() &&
         same_ignoring_case(text.substr(text.size() - end.size()), end);
}

bool has_wildcard(const std::string& path) {
  return path.find_first_of("*?") != std::string::npos;
}

namespace {

const std::string long_prefix = "\\\\?\\";
const std::string long_unc_prefix = "\\\\?\\UNC\\";

bool starts_with(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

bool is_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::string add_long_prefix(const std::string& full) {
  if (full.size() >= 3 && is_letter(full[0]) && full[1] == ':' &&
      full[2] == '\\') {
    return long_prefix + full;
  }
  // "\\server\share", but not "\\?\" nor a device such as "\\.\nul".
  if (full.size() > 2 && starts_with(full, "\\\\") && full[2] != '?' &&
      full[2] != '.' && full[2] != '\\') {
    return long_unc_prefix + full.substr(2);
  }
  return full;
}

std::string strip_long_prefix(const std::string& path) {
  if (starts_with(path, long_unc_prefix)) {
    return "\\\\" + path.substr(long_unc_prefix.size());
  }
  if (starts_with(path, long_prefix)) {
    return path.substr(long_prefix.size());
  }
  return path;
}

// ---- Operations built on the wrappers ----

namespace {

// "c:" or "c:\": a drive root, which lists without a "." entry of its own.
bool is_drive_root(const std::string& path) {
  return native_style.drive_colon && path.size() >= 2 && path.size() <= 3 &&
         path[1] == ':' &&
         (path.size() == 2 || path[2] == native_style.separator);
}

// The listing of a drive root, with an entry for the root itself in front.
bool list_drive_root(const std::string& path, bool listed,
                     std::vector<listing_entry>& entries) {
  if (!listed) {
    // An existing drive whose root lists nothing still knows its "nul".
    std::vector<listing_entry> probe;
    if (!platform_listing(path + "nul", probe)) {
      return false;
    }
    entries.clear();
  }
  listing_entry root;
  root.name = ".";
  root.directory = true;
  entries.insert(entries.begin(), root);
  return true;
}

}  // namespace

bool list_directory(const std::string& path,
                    std::vector<listing_entry>& entries) {
  entries.clear();
  const bool listed = platform_listing(path, entries);
  if (is_drive_root(path)) {
    return list_drive_root(path, listed, entries);
  }
  if (!listed) {
    return false;
  }
  // A file name followed by a separator does not name a directory.
  if (!path.empty() && path.back() == native_style.separator &&
      entries.size() == 1) {
    entries.clear();
    return false;
  }
  return true;
}

// Slots are kept at most half full, so a search ends soon at a free one.
bool identity_set::insert(const node_identity& id) {
  if (id.volume == 0 && id.index == 0) {
    return true;  // unknown: never taken for one seen before
  }
  if (2 * (used_ + 1) > slots_.size()) {
    std::vector<node_identity> old(std::max<size_t>(64, 2 * slots_.size()));
    old.swap(slots_);
    used_ = 0;
    for (const node_identity& held : old) {
      if (held.volume != 0 || held.index != 0) {
        insert(held);
      }
    }
  }
  const size_t mask = slots_.size() - 1;
  uint64_t hash =
      (id.index ^ (id.volume * 0x9E3779B97F4A7C15ULL)) * 0xBF58476D1CE4E5B9ULL;
  for (size_t at = static_cast<size_t>(hash >> 17) & mask;;
       at = (at + 1) & mask) {
    node_identity& slot = slots_[at];
    if (slot == id) {
      return false;
    }
    if (slot.volume == 0 && slot.index == 0) {
      slot = id;
      ++used_;
      return true;
    }
  }
}

}  // namespace qp
