// INI values used as name parts (the two extensions).
#ifndef QUILLPACK_BASE_NAME_TEXT_H_
#define QUILLPACK_BASE_NAME_TEXT_H_

#include <string>

namespace qp {

// The value as UTF-8. On Windows a value that is not valid UTF-8 is
// decoded from the system's legacy ANSI code page, in which Windows
// editors long saved text files by default; elsewhere, and when it cannot
// be decoded, it stays as it is.
std::string name_text(const std::string& value);

}  // namespace qp

#endif  // QUILLPACK_BASE_NAME_TEXT_H_
