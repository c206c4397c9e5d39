// The edge between the program's UTF-8 and the wide (UTF-16) services of
// Windows. Every name and path inside the program is UTF-8; the Windows
// layers convert here, and only here.
#ifndef QUILLPACK_BASE_WIDE_WIN32_H_
#define QUILLPACK_BASE_WIDE_WIN32_H_

#include <string>
#include <vector>

namespace qp {

// UTF-8 to the system's UTF-16 and back (see base/utf8.h for bytes and
// units that are not valid).
std::wstring wide(const std::string& text);
std::string narrow(const wchar_t* units, size_t count);
std::string narrow(const std::wstring& units);

// The path as the wide file services take it at any length: made full,
// with the long-path prefix when it names a drive or a share; a device or
// a path the system cannot make full as given.
std::wstring system_path(const std::string& path);

// The bytes of text in a code page, as UTF-8; empty when the system cannot
// convert them.
std::string code_page_to_utf8(const std::string& text, unsigned code_page);

// The two-call pattern of the buffer-filling wide services: ask for the
// size with an empty buffer, then fill a buffer one unit larger. fill
// returns what the service returns: 0 on failure, else a length.
template <typename Fill>
bool fill_wide(Fill fill, std::wstring& out) {
  const unsigned long needed = fill(nullptr, 0);
  if (needed == 0) {
    return false;
  }
  std::vector<wchar_t> buffer(static_cast<size_t>(needed) + 1, L'\0');
  const unsigned long length =
      fill(buffer.data(), static_cast<unsigned long>(buffer.size()));
  // A result as large as the buffer is the size of a text that grew
  // between the calls, not a length.
  if (length == 0 || length >= buffer.size()) {
    return false;
  }
  out.assign(buffer.data(), length);
  return true;
}

}  // namespace qp

#endif  // QUILLPACK_BASE_WIDE_WIN32_H_
