#include "collect/maildir_folder.h"

#include "base/paths.h"
#include "base/utf8.h"
#include "base/wildcard.h"

namespace qp {
namespace {

bool is_part_name(const std::string& name) {
  return name == "cur" || name == "new";
}

bool has_folder(const std::vector<listing_entry>& entries, const char* name) {
  for (const listing_entry& entry : entries) {
    if (entry.directory && entry.name == name) {
      return true;
    }
  }
  return false;
}

extern const folder_kind maildir_part;

const folder_kind& maildir_subfolder(
    const std::string& name, const std::vector<listing_entry>& entries) {
  if (is_part_name(name)) {
    return maildir_part;
  }
  return is_maildir_listing(entries) ? maildir_folder : plain_folder;
}

bool takes_matching(const std::string& pattern, const listing_entry& file) {
  return match_file_name(pattern, file.name);
}

// The mail programs' own folders (keywords, access lists) hold no
// messages.
subfolder_role maildir_role(const listing_entry& subfolder) {
  const std::string& name = subfolder.name;
  if (is_part_name(name)) {
    return SUBFOLDER_PART;
  }
  if (name == "tmp" || name.compare(0, 11, "courierimap") == 0 ||
      name.compare(0, 7, "dovecot") == 0) {
    return SUBFOLDER_SKIPPED;
  }
  return SUBFOLDER_OWN;
}

void maildir_group_name(const std::string& name, const folder_kind& kind,
                        std::string& group_name) {
  if (&kind == &maildir_folder && name.size() > 1 && name[0] == '.') {
    group_name += maildir_plus_group_name(name);
  } else {
    group_name.append(name).append(1, native_style.separator);
  }
}

// Messages are files: a folder inside cur/ or new/ is no part of the store.
subfolder_role part_role(const listing_entry&) {
  return SUBFOLDER_SKIPPED;
}

const folder_kind maildir_part = {maildir_subfolder,  takes_matching, part_role,
                                  maildir_group_name, nullptr,        nullptr};

// The messages are the files of cur/ and new/; a file beside them is the
// server's own (its index, its list of folders, its quota).
bool is_maildir_own_file(std::string_view name) {
  return name.find(native_style.separator) == std::string_view::npos;
}

// The modified base64 of IMAP: "," where base64 has "/".
int base64_value(char c) {
  if (c >= 'A' && c <= 'Z') {
    return c - 'A';
  }
  if (c >= 'a' && c <= 'z') {
    return c - 'a' + 26;
  }
  if (c >= '0' && c <= '9') {
    return c - '0' + 52;
  }
  if (c == '+') {
    return 62;
  }
  return c == ',' ? 63 : -1;
}

// The UTF-16 units of one shifted run (the letters between "&" and "-");
// false when its bits do not end on a unit.
bool decode_shifted(std::string_view run, std::u16string& units) {
  uint32_t bits = 0;
  int count = 0;
  for (char c : run) {
    const int value = base64_value(c);
    if (value < 0) {
      return false;
    }
    bits = (bits << 6) | static_cast<uint32_t>(value);
    count += 6;
    if (count >= 16) {
      count -= 16;
      units.push_back(static_cast<char16_t>((bits >> count) & 0xffff));
    }
  }
  // Leftover bits are padding, fewer than six and all zero.
  return count < 6 && (bits & ((1u << count) - 1)) == 0;
}

bool is_valid_utf16(const std::u16string& units) {
  for (size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (unit >= 0xd800 && unit < 0xdc00) {
      if (i + 1 == units.size() || units[i + 1] < 0xdc00 ||
          units[i + 1] >= 0xe000) {
        return false;
      }
      ++i;
    } else if (unit >= 0xdc00 && unit < 0xe000) {
      return false;
    }
  }
  return true;
}

// A level of a group name that names no other place: "." or ".." would
// climb.
bool is_own_level(const std::string& level) {
  return !level.empty() && level != "." && level != "..";
}

// The decoded letters of a level, when they hold no character that the
// folder's own name cannot (a separator would make two levels of one);
// else the letters as they stand.
std::string level_name(const std::string& letters) {
  std::string decoded;
  if (!decode_modified_utf7(letters, decoded) || !is_own_level(decoded)) {
    return letters;
  }
  for (char c : bad_file_name_chars(decoded)) {
    if (letters.find(c) == std::string::npos) {
      return letters;
    }
  }
  return decoded;
}

}  // namespace

const folder_kind maildir_folder = {maildir_subfolder, takes_matching,
                                    maildir_role,      maildir_group_name,
                                    nullptr,           is_maildir_own_file};

bool is_maildir_listing(const std::vector<listing_entry>& entries) {
  return has_folder(entries, "cur") && has_folder(entries, "new");
}

bool decode_modified_utf7(std::string_view text, std::string& out) {
  out.clear();
  size_t at = 0;
  while (at < text.size()) {
    const char c = text[at];
    if (c != '&') {
      // Printable ASCII stands for itself; anything else is not this code.
      if (c < 0x20 || c > 0x7e) {
        return false;
      }
      out += c;
      ++at;
      continue;
    }
    const size_t end = text.find('-', at + 1);
    if (end == std::string_view::npos) {
      return false;
    }
    if (end == at + 1) {
      out += '&';
    } else {
      std::u16string units;
      if (!decode_shifted(text.substr(at + 1, end - at - 1), units) ||
          units.empty() || !is_valid_utf16(units)) {
        return false;
      }
      out += utf16_to_utf8(units);
    }
    at = end + 1;
  }
  return true;
}

std::string maildir_plus_group_name(const std::string& name) {
  const char separator = native_style.separator;
  const std::string letters = name.substr(1);
  std::vector<std::string> levels;
  size_t start = 0;
  while (true) {
    const size_t dot = letters.find('.', start);
    levels.push_back(letters.substr(start, dot - start));
    if (dot == std::string::npos) {
      break;
    }
    start = dot + 1;
  }
  std::string group_name;
  for (const std::string& level : levels) {
    if (!is_own_level(level)) {
      return maildir_source_name(name) + separator;
    }
    group_name.append(level_name(level)).append(1, separator);
  }
  return group_name;
}

std::string maildir_source_name(const std::string& name) {
  if (name.size() < 2 || name[0] != '.') {
    return name;
  }
  const std::string letters = name.substr(1);
  return is_own_level(letters) ? level_name(letters) : name;
}

}  // namespace qp
