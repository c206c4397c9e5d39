// The platform wrappers on POSIX: "/" as separator, no drives, no short
// names, case-sensitive paths, and a sorted listing built on readdir.
// Every path goes through the deep_* calls, so no path is too long.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "base/deep_path.h"
#include "base/name_order.h"
#include "base/paths.h"
#include "base/tree_walk.h"
#include "base/wildcard.h"

namespace qp {

const path_style native_style = posix_style;

namespace {

// The working directory, empty when the system cannot tell it (removed).
std::string working_directory() {
  std::string buffer(256, '\0');
  while (getcwd(&buffer[0], buffer.size()) == nullptr) {
    if (errno != ERANGE) {
      return "";
    }
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(buffer.find('\0'));
  if (buffer.empty() || buffer.back() != '/') {
    buffer += '/';
  }
  return buffer;
}

}  // namespace

// Lexical, as the Windows call is: "." and ".." are resolved as text, links
// are not followed, and a trailing "/" is kept.
std::string full_path(const std::string& path) {
  if (path.empty()) {
    return path;
  }
  std::string absolute = path;
  if (path[0] != '/') {
    const std::string cwd = working_directory();
    if (cwd.empty()) {
      return path;
    }
    absolute = cwd + path;
  }
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= absolute.size()) {
    size_t end = absolute.find('/', start);
    if (end == std::string::npos) {
      end = absolute.size();
    }
    const std::string part = absolute.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) {
        parts.pop_back();
      }
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& part : parts) {
    result += '/' + part;
  }
  if (result.empty() || path.back() == '/') {
    result += '/';
  }
  return result;
}

// POSIX has no short names.
std::string long_path(const std::string& path) {
  return path;
}

std::string temp_directory() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string directory =
      tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp/";
  if (directory.back() != '/') {
    directory += '/';
  }
  return directory;
}

// The file system that holds path: the path itself when it is a directory,
// else its directory.
space_info free_space(const std::string& path) {
  space_info space{-1};
  struct stat st;
  std::string directory = path;
  if (deep_stat(path, st) != 0 || !S_ISDIR(st.st_mode)) {
    directory = file_directory(path);
  }
  if (directory.empty()) {
    directory = ".";
  }
  struct statvfs vfs;
  if (deep_statvfs(directory, vfs) != 0) {
    return space;
  }
  const int64_t unit = static_cast<int64_t>(vfs.f_frsize);
  space.available = static_cast<int64_t>(vfs.f_bavail) * unit;
  return space;
}

// Texts map ASCII letters only, so that UTF-8 names are never damaged.
std::string to_lower(const std::string& text) {
  return ascii_lower(text);
}

std::string to_upper(const std::string& text) {
  return ascii_upper(text);
}

// Case-sensitive file systems: another case would name another file.
std::string path_lower(const std::string& path) {
  return path;
}

int create_directory(const std::string& path) {
  return deep_mkdir(path, 0777) == 0 ? 0 : -1;
}

// "./" when the working directory is gone: a relative path that lists
// nothing, where an empty one would become the root "/".
std::string current_directory() {
  const std::string cwd = working_directory();
  return cwd.empty() ? "./" : cwd;
}

bool directory_identity(const std::string& path, uint64_t& device,
                        uint64_t& inode) {
  struct stat st;
  if (deep_stat(path, st) != 0 || !S_ISDIR(st.st_mode)) {
    return false;
  }
  device = static_cast<uint64_t>(st.st_dev);
  inode = static_cast<uint64_t>(st.st_ino);
  return true;
}

// ---- Listing ----

namespace {

// The entry for name, or false when it is not listed: a dangling link, or
// a FIFO, socket or device, which a reader would wait on for ever.
bool make_entry(const std::string& name, const struct stat& st,
                listing_entry& entry) {
  const bool directory = S_ISDIR(st.st_mode);
  if (!directory && !S_ISREG(st.st_mode)) {
    return false;
  }
  entry.name = name;
  entry.directory = directory;
  entry.size = directory ? 0 : static_cast<uint64_t>(st.st_size);
  entry.volume = static_cast<uint64_t>(st.st_dev);
  entry.index = static_cast<uint64_t>(st.st_ino);
  entry.shared = !directory && st.st_nlink > 1;
  return true;
}

// Whether the name in the directory is a symbolic link.
bool is_link(int fd, const struct dirent* item) {
#if defined(DT_LNK) && defined(DT_UNKNOWN)
  if (item->d_type != DT_UNKNOWN) {
    return item->d_type == DT_LNK;
  }
#endif
  struct stat st;
  return fstatat(fd, item->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISLNK(st.st_mode);
}

// The entries of an open directory that the pattern keeps (all for an
// empty one), each stated once through the directory's descriptor, sorted
// in the one listing order, since readdir order is arbitrary; false when
// the reading failed part way (errno tells why).
bool read_entries(DIR* dir, const std::string& pattern,
                  std::vector<listing_entry>& entries) {
  const int fd = dirfd(dir);
  listing_entry entry;
  struct stat st;
  for (;;) {
    errno = 0;
    const struct dirent* item = readdir(dir);
    if (item == nullptr) {
      break;
    }
    const std::string name = item->d_name;
    if (!pattern.empty() && !match_file_name(pattern, name)) {
      continue;
    }
    if (fstatat(fd, item->d_name, &st, 0) == 0 && make_entry(name, st, entry)) {
      entry.shared = entry.shared || is_link(fd, item);
      entries.push_back(entry);
    }
  }
  if (errno != 0) {
    return false;
  }
  sort_listing(entries);
  return true;
}

// The contents of the open directory that pattern keeps; the descriptor
// stays open. False with errno set when they cannot be read.
bool list_open_directory(int fd, const std::string& pattern,
                         std::vector<listing_entry>& entries) {
  const int own = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (own < 0) {
    return false;
  }
  DIR* dir = fdopendir(own);
  if (dir == nullptr) {
    const int saved = errno;
    close(own);
    errno = saved;
    return false;
  }
  // The duplicate shares the position: start from the first entry.
  rewinddir(dir);
  const bool read = read_entries(dir, pattern, entries);
  const int saved = errno;
  closedir(dir);
  errno = saved;
  return read;
}

// The contents of directory (as a path for opendir) that pattern keeps;
// errno tells why when it cannot be opened.
bool list_contents(const std::string& directory, const std::string& pattern,
                   std::vector<listing_entry>& entries) {
  const int fd =
      deep_open(directory, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  const bool listed = list_open_directory(fd, pattern, entries);
  const int saved = errno;
  close(fd);
  errno = saved;
  return listed;
}

}  // namespace

bool platform_listing(const std::string& path,
                      std::vector<listing_entry>& entries) {
  entries.clear();
  const std::string last = file_name(path);
  if (has_wildcard(last)) {
    const std::string directory = file_directory(path);
    // "*.*" keeps every name, so it need not be matched name by name.
    const std::string pattern = last == "*.*" ? "" : last;
    return list_contents(directory.empty() ? "." : directory, pattern,
                         entries) &&
           !entries.empty();
  }
  if (list_contents(path, "", entries)) {
    return true;
  }
  if (errno != ENOTDIR) {
    return false;
  }
  // Not a directory: a file lists as its one entry. "file/" fails here too.
  struct stat st;
  listing_entry entry;
  if (deep_stat(path, st) != 0 || !make_entry(last, st, entry)) {
    return false;
  }
  entries.push_back(entry);
  return true;
}

// The listing rule told by stat: a path that is neither a directory nor a
// regular file (FIFO, socket, device, dangling link) holds nothing usable.
// "*" and "?" are ordinary characters of a POSIX name: a path holding them
// is a path like any other (only the last component of the file
// specification is ever a pattern, and the job decides that).
int path_kind(const std::string& path) {
  struct stat st;
  if (deep_stat(path, st) != 0) {
    return KIND_NONE;
  }
  if (S_ISDIR(st.st_mode)) {
    return KIND_DIRECTORY;
  }
  return S_ISREG(st.st_mode) ? KIND_FILE : KIND_NONE;
}

// The size of the file of exactly this name: "*" and "?" are ordinary
// characters of a POSIX name, so a target named after a folder "a*" must
// not take the size of another file the pattern would match.
int64_t file_size(const std::string& path) {
  struct stat st;
  if (deep_stat(path, st) != 0) {
    return -1;
  }
  if (S_ISDIR(st.st_mode)) {
    return 0;
  }
  return S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : -1;
}

bool entry_exists(const std::string& path) {
  struct stat st;
  return deep_lstat(path, st) == 0;
}

int create_directory_tree(const std::string& path) {
  return deep_mkdir_all(path, 0777) == 0 ? 0 : -1;
}

// ---- The tree walk ----

namespace {

constexpr int folder_flags = O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC;

int status_of(int error) {
  return error == EACCES || error == EPERM ? FOLDER_DENIED : FOLDER_FAILED;
}

bool identity_of(int fd, node_identity& id) {
  struct stat st;
  if (fstat(fd, &st) != 0) {
    return false;
  }
  id.volume = static_cast<uint64_t>(st.st_dev);
  id.index = static_cast<uint64_t>(st.st_ino);
  return true;
}

void close_handle(tree_cursor& cursor) {
  if (cursor.handle >= 0) {
    close(static_cast<int>(cursor.handle));
  }
  cursor.handle = -1;
}

// The cursor's folder as a new descriptor of the cursor, or -1.
int add_level(tree_cursor& cursor, int fd) {
  node_identity id;
  if (!identity_of(fd, id)) {
    const int saved = errno;
    close(fd);
    errno = saved;
    return -1;
  }
  close_handle(cursor);
  cursor.handle = fd;
  cursor.levels.push_back(tree_level{cursor.path.size(), id});
  return fd;
}

}  // namespace

int open_tree(tree_cursor& cursor, const std::string& root) {
  close_tree(cursor);
  cursor.path = root;
  const int fd = deep_open(root, folder_flags);
  if (fd < 0 || add_level(cursor, fd) < 0) {
    return status_of(errno);
  }
  return FOLDER_OPEN;
}

int enter_folder(tree_cursor& cursor, const std::string& name) {
  if (cursor.handle < 0) {
    return FOLDER_FAILED;
  }
  const int fd =
      openat(static_cast<int>(cursor.handle), name.c_str(), folder_flags);
  if (fd < 0) {
    return status_of(errno);
  }
  const size_t before = cursor.path.size();
  cursor.path.append(name).append(1, '/');
  if (add_level(cursor, fd) < 0) {
    cursor.path.resize(before);
    return status_of(errno);
  }
  return FOLDER_OPEN;
}

// ".." of the folder leads back in one step, unless the folder was reached
// through a link (its ".." is then elsewhere) or moved meanwhile: the
// parent is then opened by its path.
void leave_folder(tree_cursor& cursor) {
  if (cursor.levels.size() < 2) {
    return;
  }
  cursor.levels.pop_back();
  const tree_level& parent = cursor.levels.back();
  cursor.path.resize(parent.path_size);
  int up = cursor.handle >= 0
               ? openat(static_cast<int>(cursor.handle), "..", folder_flags)
               : -1;
  node_identity id;
  if (up >= 0 && !(identity_of(up, id) && id == parent.id)) {
    close(up);
    up = -1;
  }
  if (up < 0) {
    up = deep_open(cursor.path, folder_flags);
    if (up >= 0 && !(identity_of(up, id) && id == parent.id)) {
      close(up);
      up = -1;
    }
  }
  close_handle(cursor);
  cursor.handle = up;
}

void close_tree(tree_cursor& cursor) {
  close_handle(cursor);
  cursor.levels.clear();
  cursor.path.clear();
}

int list_folder(const tree_cursor& cursor,
                std::vector<listing_entry>& entries) {
  entries.clear();
  if (cursor.handle < 0) {
    return FOLDER_FAILED;
  }
  if (!list_open_directory(static_cast<int>(cursor.handle), "", entries)) {
    entries.clear();
    return status_of(errno);
  }
  return FOLDER_OPEN;
}

bool may_be_reached_twice(const tree_cursor&, const listing_entry& entry,
                          node_identity& id) {
  id.volume = entry.volume;
  id.index = entry.index;
  return entry.shared;
}

std::FILE* open_regular_file(const std::string& path) {
  // Non-blocking, so that a FIFO does not hold the open until a writer comes.
  int fd = deep_open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return nullptr;
  }
  // O_NONBLOCK changes nothing for a regular file, so it may stay set.
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return nullptr;
  }
  std::FILE* stream = fdopen(fd, "rb");
  if (!stream) {
    close(fd);
  }
  return stream;
}

}  // namespace qp
