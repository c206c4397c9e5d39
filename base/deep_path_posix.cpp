#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/deep_path.h"

namespace qp {
namespace {

#if defined(O_PATH)
// Passing through a directory needs search permission only, as in a path.
constexpr int search_flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int search_flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

#if defined(PATH_MAX)
constexpr size_t system_limit = PATH_MAX;
#else
constexpr size_t system_limit = 1024;
#endif
// The longest part opened at once: well inside what the system takes.
constexpr size_t part_limit = system_limit / 2;

// The directory that holds the last component of a path, and that
// component. A short path is left to the system as it stands.
class resolved_path {
 public:
  explicit resolved_path(const std::string& path) : name_(path) {
    if (path.size() >= system_limit) {
      reach_parent(path);
    }
  }
  ~resolved_path() {
    release();
  }
  resolved_path(const resolved_path&) = delete;
  resolved_path& operator=(const resolved_path&) = delete;

  // AT_FDCWD for a short path; -1 when the way there failed (errno set).
  int directory() const {
    return directory_;
  }
  const char* name() const {
    return name_.c_str();
  }

 private:
  void release() {
    if (directory_ >= 0) {
      const int saved = errno;
      close(directory_);
      errno = saved;
    }
    directory_ = AT_FDCWD;
  }

  // Opens the directories of path in parts of at most part_limit bytes,
  // each ending at a separator; a trailing "/" stays with the name.
  void reach_parent(const std::string& path) {
    const size_t last = path.rfind('/', path.size() - 2);
    if (last == std::string::npos) {
      return;  // one name that long: the system refuses it itself
    }
    name_ = path.substr(last + 1);
    const size_t parent_end = last + 1;
    size_t at = 0;
    while (at < parent_end) {
      size_t stop = parent_end;
      if (stop - at > part_limit) {
        const size_t slash = path.rfind('/', at + part_limit - 1);
        stop = slash == std::string::npos ? at : slash + 1;
        if (stop <= at) {
          release();
          directory_ = -1;
          errno = ENAMETOOLONG;
          return;
        }
      }
      const std::string part = path.substr(at, stop - at);
      const int next = openat(directory_, part.c_str(), search_flags);
      release();
      directory_ = next;
      if (next < 0) {
        return;
      }
      at = stop;
    }
  }

  int directory_ = AT_FDCWD;
  std::string name_;
};

}  // namespace

int deep_stat(const std::string& path, struct stat& info) {
  resolved_path at(path);
  if (at.directory() == -1) {
    return -1;
  }
  return fstatat(at.directory(), at.name(), &info, 0);
}

int deep_lstat(const std::string& path, struct stat& info) {
  resolved_path at(path);
  if (at.directory() == -1) {
    return -1;
  }
  return fstatat(at.directory(), at.name(), &info, AT_SYMLINK_NOFOLLOW);
}

int deep_open(const std::string& path, int flags, mode_t mode) {
  resolved_path at(path);
  if (at.directory() == -1) {
    return -1;
  }
  return openat(at.directory(), at.name(), flags, mode);
}

int deep_mkdir(const std::string& path, mode_t mode) {
  resolved_path at(path);
  if (at.directory() == -1) {
    return -1;
  }
  return mkdirat(at.directory(), at.name(), mode);
}

int deep_mkdir_all(const std::string& path, mode_t mode) {
  if (path.empty()) {
    errno = ENOENT;
    return -1;
  }
  int directory = AT_FDCWD;
  size_t at = 0;
  if (!path.empty() && path[0] == '/') {
    directory = open("/", search_flags);
    at = 1;
  }
  while (directory != -1 && at < path.size()) {
    size_t stop = path.find('/', at);
    if (stop == std::string::npos) {
      stop = path.size();
    }
    const std::string part = path.substr(at, stop - at);
    at = stop + 1;
    if (part.empty()) {
      continue;
    }
    int next = openat(directory, part.c_str(), search_flags);
    if (next < 0 && errno == ENOENT &&
        (mkdirat(directory, part.c_str(), mode) == 0 || errno == EEXIST)) {
      next = openat(directory, part.c_str(), search_flags);
    }
    const int saved = errno;
    if (directory != AT_FDCWD) {
      close(directory);
    }
    errno = saved;
    directory = next;
  }
  if (directory == -1) {
    return -1;
  }
  if (directory != AT_FDCWD) {
    close(directory);
  }
  return 0;
}

int deep_statvfs(const std::string& path, struct statvfs& info) {
  if (path.size() < system_limit) {
    return statvfs(path.c_str(), &info);
  }
  const int fd = deep_open(path, search_flags);
  if (fd < 0) {
    return -1;
  }
  const int result = fstatvfs(fd, &info);
  close(fd);
  return result;
}

}  // namespace qp
