// Opening a source on Windows: the listing holds only files and directories,
// and a directory does not open as a file.
#include <cstdio>
#include <string>

#include "pack/raw_file.h"

namespace qp {

std::FILE* raw_open_source(const std::string& path) {
  return std::fopen(path.c_str(), "rb");
}

}  // namespace qp
