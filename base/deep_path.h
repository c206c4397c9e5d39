// Paths of any length on POSIX. The system refuses a path of PATH_MAX bytes
// or more; such a path is reached a part at a time with descriptor-relative
// calls, holding at most two descriptors however deep the tree, so that a
// tree thousands of levels deep stays within the open-file limit.
// Implemented in deep_path_posix.cpp; used by the POSIX layers only.
#ifndef QUILLPACK_BASE_DEEP_PATH_H_
#define QUILLPACK_BASE_DEEP_PATH_H_

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include <string>

namespace qp {

// stat, links followed; 0 or -1 with errno set.
int deep_stat(const std::string& path, struct stat& info);
// lstat: a link at the end of path is not followed; 0 or -1 with errno set.
int deep_lstat(const std::string& path, struct stat& info);
// open; the descriptor or -1 with errno set.
int deep_open(const std::string& path, int flags, mode_t mode = 0);
// mkdir; 0 or -1 with errno set.
int deep_mkdir(const std::string& path, mode_t mode);
// mkdir of path and every missing parent, a folder at a time from the one
// before; 0 or -1 with errno set.
int deep_mkdir_all(const std::string& path, mode_t mode);
// statvfs of the file system that holds path; 0 or -1.
int deep_statvfs(const std::string& path, struct statvfs& info);

}  // namespace qp

#endif  // QUILLPACK_BASE_DEEP_PATH_H_
