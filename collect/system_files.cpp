#include "collect/system_files.h"

#include <cstddef>
#include <string_view>

#include "base/paths.h"

namespace qp {
namespace {

template <size_t N>
bool is_one_of(std::string_view name, const std::string_view (&names)[N]) {
  for (std::string_view listed : names) {
    if (same_ignoring_case(name, listed)) {
      return true;
    }
  }
  return false;
}

constexpr std::string_view system_file_names[] = {"Thumbs.db", "ehthumbs.db",
                                                  "desktop.ini", ".DS_Store"};

// What mail servers and programs keep beside a Maildir's messages: their
// indexes, caches, lists of subscribed folders and quota counts.
constexpr std::string_view mail_store_file_names[] = {
    "maildirfolder", "maildirsize", "subscriptions"};
constexpr std::string_view mail_store_file_prefixes[] = {
    "dovecot.", "dovecot-", "courierimap", "courierpop3d"};

bool is_mail_store_file_name(std::string_view name) {
  for (std::string_view prefix : mail_store_file_prefixes) {
    if (starts_with_ignoring_case(name, prefix)) {
      return true;
    }
  }
  return is_one_of(name, mail_store_file_names);
}

constexpr std::string_view system_folder_names[] = {
    "__MACOSX",   ".Spotlight-V100", ".Trashes",
    ".fseventsd", "$RECYCLE.BIN",    "System Volume Information"};

}  // namespace

bool is_system_file_name(std::string_view name) {
  return is_one_of(name, system_file_names) || is_mail_store_file_name(name);
}

bool is_apple_double_name(std::string_view name) {
  return name.size() >= 2 && name[0] == '.' && name[1] == '_';
}

bool has_apple_double_signature(const char* bytes, size_t size) {
  return size >= apple_double_signature_size && bytes[0] == '\x00' &&
         bytes[1] == '\x05' && bytes[2] == '\x16' && bytes[3] == '\x07';
}

bool is_system_folder_name(std::string_view name) {
  return is_one_of(name, system_folder_names);
}

bool is_in_system_folder(std::string_view relative_directory,
                         path_style style) {
  size_t start = 0;
  while (start < relative_directory.size()) {
    size_t end = relative_directory.find(style.separator, start);
    if (end == std::string_view::npos) {
      end = relative_directory.size();
    }
    if (is_system_folder_name(relative_directory.substr(start, end - start))) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

}  // namespace qp
