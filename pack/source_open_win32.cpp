// Opening a source on Windows: the listing holds only files and directories,
// and a directory does not open as a file.
#include <io.h>

#include <cstdio>
#include <string>

#include "pack/raw_file.h"

namespace qp {

std::FILE* raw_open_source(const std::string& path) {
  return std::fopen(path.c_str(), "rb");
}

int64_t raw_stream_size(std::FILE* stream) {
  return _filelengthi64(_fileno(stream));
}

}  // namespace qp
