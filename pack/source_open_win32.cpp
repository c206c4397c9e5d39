// Opening a source on Windows: the listing holds only files and directories,
// and a directory does not open as a file. The name goes to the system as
// UTF-16, so a name in any script opens at any length.
#include <io.h>

#include <cstdio>
#include <string>

#include "base/wide_win32.h"
#include "pack/raw_file.h"

namespace qp {

std::FILE* raw_open_source(const std::string& path) {
  return _wfopen(system_path(path).c_str(), L"rb");
}

int64_t raw_stream_size(std::FILE* stream) {
  return _filelengthi64(_fileno(stream));
}

}  // namespace qp
