// The raw files on POSIX. The target: a whole-file fcntl lock, the
// convention that mail readers honour. Closing any descriptor of a file
// drops the process's fcntl locks on it, so each file is opened once while
// it is locked. A source: only a regular file is read, since a FIFO or a
// device put in the place of a listed file would make the open or the
// reading wait or run for ever.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/deep_path.h"
#include "base/paths.h"
#include "pack/raw_file.h"

namespace qp {
namespace {

bool lock_whole_file(int fd, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;  // to the end, however far the file grows
  return fcntl(fd, F_SETLK, &lock) == 0;
}

}  // namespace

bool raw_open_locked(const std::string& path, lock_mode mode, raw_file& file) {
  // Non-blocking, so that a FIFO in the target's place cannot hang the open.
  int flags = O_CLOEXEC | O_NONBLOCK;
  if (mode == LOCKED_READ) {
    flags |= O_RDONLY;
  } else if (mode == LOCKED_APPEND) {
    // Readable too, for the tail of what it holds.
    flags |= O_RDWR | O_APPEND | O_CREAT;
  } else {
    flags |= O_WRONLY | O_CREAT;  // emptied once the lock is held
  }
  int fd = deep_open(path, flags, 0666);
  if (fd < 0 && errno == EACCES && mode == LOCKED_APPEND) {
    // A target that may be written but not read is still appended to;
    // only its tail cannot be looked at.
    fd = deep_open(path, (flags & ~O_RDWR) | O_WRONLY, 0666);
  }
  if (fd < 0) {
    return false;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      !lock_whole_file(fd, mode == LOCKED_READ ? F_RDLCK : F_WRLCK)) {
    close(fd);
    return false;
  }
  if (mode == LOCKED_CREATE) {
    // Only a file that holds something is emptied: on ext4 a truncation
    // to zero, even of an empty file, makes the last close start the
    // writeback of everything written since, and the close waits for it.
    struct stat now {};
    if (fstat(fd, &now) != 0 || (now.st_size != 0 && ftruncate(fd, 0) != 0)) {
      close(fd);
      return false;
    }
  }
  file.handle = fd;
  if (mode == LOCKED_READ) {
    file.stream = fdopen(fd, "rb");
    if (!file.stream) {
      close(fd);
      file.handle = -1;
      return false;
    }
  }
  return true;
}

int64_t raw_size(const raw_file& file) {
  struct stat info {};
  if (fstat(static_cast<int>(file.handle), &info) != 0) {
    return -1;
  }
  return static_cast<int64_t>(info.st_size);
}

size_t raw_write(const raw_file& file, const char* bytes, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(static_cast<int>(file.handle), bytes + done, size - done);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      break;
    }
    if (n == 0) {
      break;
    }
    done += static_cast<size_t>(n);
  }
  return done;
}

// The write offset goes back with the end: a file opened without O_APPEND
// would otherwise take the next write at the old offset, behind a hole.
bool raw_truncate(const raw_file& file, int64_t size) {
  int fd = static_cast<int>(file.handle);
  off_t end = static_cast<off_t>(size);
  return ftruncate(fd, end) == 0 && lseek(fd, end, SEEK_SET) == end;
}

bool raw_close(raw_file& file) {
  bool ok;
  if (file.stream) {
    ok = std::fclose(file.stream) == 0;
  } else {
    ok = close(static_cast<int>(file.handle)) == 0;
  }
  file.stream = nullptr;
  file.handle = -1;
  return ok;
}

int raw_read_tail(const raw_file& file, char* out, int wanted) {
  int fd = static_cast<int>(file.handle);
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    return -1;
  }
  off_t size = info.st_size;
  off_t start = size > wanted ? size - wanted : 0;
  int want = static_cast<int>(size - start);
  int done = 0;
  while (done < want) {
    ssize_t n =
        pread(fd, out + done, static_cast<size_t>(want - done), start + done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return -1;
    }
    done += static_cast<int>(n);
  }
  return done;
}

bool raw_identity(const raw_file& file, file_identity& id) {
  struct stat info {};
  if (fstat(static_cast<int>(file.handle), &info) != 0) {
    return false;
  }
  id.volume = static_cast<uint64_t>(info.st_dev);
  id.index = static_cast<uint64_t>(info.st_ino);
  return true;
}

// stat opens nothing: no descriptor whose close would drop a lock.
bool raw_path_identity(const std::string& path, file_identity& id) {
  struct stat info {};
  if (deep_stat(path, info) != 0) {
    return false;
  }
  id.volume = static_cast<uint64_t>(info.st_dev);
  id.index = static_cast<uint64_t>(info.st_ino);
  return true;
}

// ---- Sources ----

std::FILE* raw_open_source(const std::string& path) {
  return open_regular_file(path);
}

const bool source_open_spares_lock = false;

namespace {

// The folder of the last source opened, held open: the sources of a group
// share it, so each is opened by its name from there, and the system does
// not walk the whole path again for each.
std::string source_folder;
int source_folder_fd = -1;

int open_in_folder(const std::string& path, int flags) {
  size_t cut = path.rfind('/');
  if (cut == std::string::npos || cut == 0) {
    return deep_open(path, flags);
  }
  if (source_folder_fd < 0 || path.compare(0, cut + 1, source_folder) != 0 ||
      source_folder.size() != cut + 1) {
    if (source_folder_fd >= 0) {
      close(source_folder_fd);
    }
    source_folder.assign(path, 0, cut + 1);
    source_folder_fd =
        deep_open(source_folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (source_folder_fd < 0) {
      source_folder.clear();
      return deep_open(path, flags);
    }
  }
  int fd = openat(source_folder_fd, path.c_str() + cut + 1, flags);
  if (fd < 0 && errno == ENOENT) {
    // The folder may have been made anew under its name since it was
    // opened: the whole path says.
    close(source_folder_fd);
    source_folder_fd = -1;
    source_folder.clear();
    return deep_open(path, flags);
  }
  return fd;
}

}  // namespace

intptr_t raw_open_source_handle(const std::string& path, int64_t& size,
                                file_identity& id, uint32_t& links) {
  // Non-blocking, so that a FIFO does not hold the open until a writer
  // comes; it changes nothing for a regular file. A descriptor rather than
  // a stream: fdopen would ask it for its flags, a call per file.
  int fd = open_in_folder(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return -1;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return -1;
  }
  size = static_cast<int64_t>(info.st_size);
  id.volume = static_cast<uint64_t>(info.st_dev);
  id.index = static_cast<uint64_t>(info.st_ino);
  links = static_cast<uint32_t>(info.st_nlink);
  return fd;
}

int64_t raw_read_handle(intptr_t handle, char* out, size_t size) {
  while (true) {
    ssize_t got = read(static_cast<int>(handle), out, size);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    return static_cast<int64_t>(got);
  }
}

bool raw_seek_handle(intptr_t handle, int64_t offset) {
  return lseek(static_cast<int>(handle), static_cast<off_t>(offset),
               SEEK_SET) >= 0;
}

void raw_close_handle(intptr_t handle) {
  close(static_cast<int>(handle));
}

int64_t raw_stream_size(std::FILE* stream) {
  struct stat info {};
  if (fstat(fileno(stream), &info) != 0) {
    return -1;
  }
  return static_cast<int64_t>(info.st_size);
}

bool raw_stream_seek(std::FILE* stream, int64_t offset) {
  return fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

std::FILE* raw_temporary_file() {
  return std::tmpfile();
}

}  // namespace qp
