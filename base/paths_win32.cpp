// The platform wrappers on Windows: the wide file and path services, "\" as
// separator, drive letters, and the system's case mapping for paths too.
// Names and paths are UTF-8 here as everywhere in the program; every path
// goes to the system through system_path, so no length is too long, and
// comes back without the long-path prefix, as texts show it.
#include <windows.h>

#include <string>
#include <vector>

#include "base/name_order.h"
#include "base/paths.h"
#include "base/tree_walk.h"
#include "base/utf8.h"
#include "base/wide_win32.h"

namespace qp {

const path_style native_style = windows_style;

namespace {

// A path the system returned, as the program holds it.
std::string returned_path(const std::wstring& units) {
  return strip_long_prefix(narrow(units));
}

}  // namespace

std::string full_path(const std::string& path) {
  const std::wstring given = wide(path);
  std::wstring out;
  bool ok = fill_wide(
      [&](wchar_t* buffer, DWORD size) {
        return GetFullPathNameW(given.c_str(), size, buffer, nullptr);
      },
      out);
  return ok ? returned_path(out) : path;
}

// Short names are expanded only without the long-path prefix on some
// systems (Wine): the prefixed form is for paths too long for that.
std::string long_path(const std::string& path) {
  std::wstring out;
  for (const std::wstring& given : {wide(path), system_path(path)}) {
    if (fill_wide(
            [&](wchar_t* buffer, DWORD size) {
              return GetLongPathNameW(given.c_str(), buffer, size);
            },
            out)) {
      return returned_path(out);
    }
  }
  return path;
}

std::string temp_directory() {
  std::wstring out;
  bool ok = fill_wide(
      [](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); },
      out);
  return ok ? returned_path(out) : std::string();
}

// The caller names the drive root ("c:\").
space_info free_space(const std::string& path) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(system_path(path).c_str(), &available, nullptr,
                           nullptr)) {
    return space_info{-1};
  }
  return space_info{static_cast<int64_t>(available.QuadPart)};
}

namespace {

// The system's mapping of the text's characters; a to z alone for a text
// that is not UTF-8, which the wide mapping would damage, and the text
// unchanged when the service does not process every unit.
std::string map_case(const std::string& text, bool upper) {
  if (text.empty()) {
    return text;
  }
  char32_t code;
  for (size_t at = 0; at < text.size();) {
    const size_t length = decode_utf8(text, at, code, true);
    if (length == 0) {
      return upper ? ascii_upper(text) : ascii_lower(text);
    }
    at += length;
  }
  std::wstring units = wide(text);
  const DWORD length = static_cast<DWORD>(units.size());
  const DWORD done = upper ? CharUpperBuffW(&units[0], length)
                           : CharLowerBuffW(&units[0], length);
  return done == length ? narrow(units) : text;
}

}  // namespace

std::string to_lower(const std::string& text) {
  return map_case(text, false);
}

std::string to_upper(const std::string& text) {
  return map_case(text, true);
}

// Windows file systems ignore letter case: a path maps like any text.
std::string path_lower(const std::string& path) {
  return map_case(path, false);
}

int create_directory(const std::string& path) {
  return CreateDirectoryW(system_path(path).c_str(), nullptr) ? 0 : -1;
}

std::string current_directory() {
  std::wstring units;
  bool ok =
      fill_wide([](wchar_t* buffer,
                   DWORD size) { return GetCurrentDirectoryW(size, buffer); },
                units);
  const std::string out = ok ? returned_path(units) : std::string();
  if (out.empty()) {
    return ".\\";
  }
  return out.back() == '\\' ? out : out + '\\';
}

// Volume serial number and file index: the identity of a directory, so
// that a walk through a junction back into its own tree cannot loop.
bool directory_identity(const std::string& path, uint64_t& device,
                        uint64_t& inode) {
  HANDLE handle =
      CreateFileW(system_path(path).c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(handle, &info) &&
                  (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  CloseHandle(handle);
  if (!ok) {
    return false;
  }
  device = info.dwVolumeSerialNumber;
  inode =
      (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

// ---- Listing ----

namespace {

listing_entry make_entry(const WIN32_FIND_DATAW& found) {
  listing_entry entry;
  entry.name = narrow(std::wstring(found.cFileName));
  entry.directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry.size =
      (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  entry.shared = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return entry;
}

// The pattern handed to the enumeration: a directory named without a
// wildcard, or a drive ("c:", "c:\"), lists its contents.
std::string enumeration_pattern(const std::string& path) {
  const std::string trimmed = trim_right(path, " \t\\");
  if (!trimmed.empty() && trimmed.back() == ':') {
    return trimmed + "\\*.*";
  }
  if (!has_wildcard(trimmed) && !trimmed.empty()) {
    const DWORD attributes = GetFileAttributesW(system_path(trimmed).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return trimmed + "\\*.*";
    }
  }
  return path;
}

}  // namespace

bool platform_listing(const std::string& path,
                      std::vector<listing_entry>& entries) {
  entries.clear();
  WIN32_FIND_DATAW found;
  HANDLE find =
      FindFirstFileW(system_path(enumeration_pattern(path)).c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) {
    return false;
  }
  do {
    entries.push_back(make_entry(found));
  } while (FindNextFileW(find, &found));
  FindClose(find);
  // The one order of every platform: NTFS lists in it already, FAT, exFAT
  // and network shares in the order of creation.
  sort_listing(entries);
  return true;
}

int path_kind(const std::string& path) {
  if (has_wildcard(path)) {
    return KIND_WILDCARD;
  }
  std::vector<listing_entry> entries;
  if (!list_directory(path, entries)) {
    return KIND_NONE;
  }
  if (entries.size() <= 1 && (entries.empty() || !entries[0].directory)) {
    return KIND_FILE;
  }
  return KIND_DIRECTORY;
}

int64_t file_size(const std::string& path) {
  std::vector<listing_entry> entries;
  if (!list_directory(path, entries) || entries.empty()) {
    return -1;
  }
  return static_cast<int64_t>(entries[0].size);
}

// The listing shows a link as the entry it is, without following it.
bool entry_exists(const std::string& path) {
  std::vector<listing_entry> entries;
  return list_directory(path, entries) && !entries.empty();
}

// The prefixes that end at a separator, then the path; those that exist
// are found from the longest down, so a tree of folders that exist already
// costs one question, and the missing ones are made from the shortest up.
int create_directory_tree(const std::string& path) {
  std::vector<size_t> ends;
  for (size_t at = path.find(native_style.separator); at != std::string::npos;
       at = path.find(native_style.separator, at + 1)) {
    ends.push_back(at + 1);
  }
  if (ends.empty() || ends.back() != path.size()) {
    ends.push_back(path.size());
  }
  size_t missing = ends.size();  // the first missing prefix
  while (missing > 0) {
    const int kind = path_kind(path.substr(0, ends[missing - 1]));
    if (kind == KIND_WILDCARD || kind == KIND_FILE) {
      return -1;
    }
    if (kind == KIND_DIRECTORY) {
      break;
    }
    --missing;
  }
  for (size_t i = missing; i < ends.size(); ++i) {
    if (create_directory(path.substr(0, ends[i])) != 0) {
      return -1;
    }
  }
  return 0;
}

// ---- The tree walk ----

int open_tree(tree_cursor& cursor, const std::string& root) {
  close_tree(cursor);
  cursor.path = root;
  node_identity id;
  if (!directory_identity(root, id.volume, id.index)) {
    id = node_identity();
  }
  cursor.levels.push_back(tree_level{root.size(), id});
  return FOLDER_OPEN;
}

// The listing tells whether the folder can be read; an identity that cannot
// be had is unknown, as on a file system without file indexes.
int enter_folder(tree_cursor& cursor, const std::string& name) {
  cursor.path.append(name).append(1, native_style.separator);
  node_identity id;
  if (!directory_identity(cursor.path, id.volume, id.index)) {
    id = node_identity();
  }
  cursor.levels.push_back(tree_level{cursor.path.size(), id});
  return FOLDER_OPEN;
}

void leave_folder(tree_cursor& cursor) {
  if (cursor.levels.size() < 2) {
    return;
  }
  cursor.levels.pop_back();
  cursor.path.resize(cursor.levels.back().path_size);
}

void close_tree(tree_cursor& cursor) {
  cursor.levels.clear();
  cursor.path.clear();
}

int list_folder(const tree_cursor& cursor,
                std::vector<listing_entry>& entries) {
  if (list_directory(cursor.path + "*.*", entries)) {
    return FOLDER_OPEN;
  }
  entries.clear();
  return GetLastError() == ERROR_ACCESS_DENIED ? FOLDER_DENIED : FOLDER_FAILED;
}

// A reparse point (a symbolic link); its identity from a handle that asks
// for no access and shares everything. A file of several hard links is not
// opened here, which would cost an open per file: the packing finds its
// links when it opens it (pack_message).
bool may_be_reached_twice(const tree_cursor& cursor, const listing_entry& entry,
                          node_identity& id) {
  if (!entry.shared) {
    return false;
  }
  HANDLE handle =
      CreateFileW(system_path(cursor.path + entry.name).c_str(), 0,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  if (!known) {
    return false;
  }
  id.volume = info.dwVolumeSerialNumber;
  id.index =
      (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return entry.shared || info.nNumberOfLinks > 1;
}

// The listing holds only files and directories, and a directory does not
// open as a file.
std::FILE* open_regular_file(const std::string& path) {
  return _wfopen(system_path(path).c_str(), L"rb");
}

}  // namespace qp
