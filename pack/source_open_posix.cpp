// Opening a source on POSIX. Only a regular file is read: a FIFO or a device
// put in the place of a listed file would make the open or the reading wait
// or run for ever.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/deep_path.h"
#include "pack/raw_file.h"

namespace qp {

std::FILE* raw_open_source(const std::string& path) {
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

int64_t raw_stream_size(std::FILE* stream) {
  struct stat info {};
  if (fstat(fileno(stream), &info) != 0) {
    return -1;
  }
  return static_cast<int64_t>(info.st_size);
}

}  // namespace qp
