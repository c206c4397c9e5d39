// Conversions at the edge of the wide services.
#include "base/wide_win32.h"

#include <windows.h>

#include "base/paths.h"
#include "base/utf8.h"

namespace qp {

static_assert(sizeof(wchar_t) == sizeof(char16_t),
              "the wide services take UTF-16 code units");

std::wstring wide(const std::string& text) {
  const std::u16string units = utf8_to_utf16(text);
  return std::wstring(units.begin(), units.end());
}

std::string narrow(const wchar_t* units, size_t count) {
  return utf16_to_utf8(
      std::u16string(reinterpret_cast<const char16_t*>(units), count));
}

std::string narrow(const std::wstring& units) {
  return narrow(units.data(), units.size());
}

std::wstring system_path(const std::string& path) {
  const std::wstring given = wide(path);
  std::wstring full;
  const bool ok = fill_wide(
      [&](wchar_t* buffer, DWORD size) {
        return GetFullPathNameW(given.c_str(), size, buffer, nullptr);
      },
      full);
  if (!ok) {
    return given;
  }
  // A device ("c:\nul" is "\\.\nul") or a relative form the system
  // could not make full goes as given.
  const std::string full_text = narrow(full);
  const std::string prefixed = add_long_prefix(full_text);
  return prefixed == full_text ? given : wide(prefixed);
}

std::string code_page_to_utf8(const std::string& text, unsigned code_page) {
  if (text.empty()) {
    return text;
  }
  const int size = static_cast<int>(text.size());
  const int length =
      MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  if (length <= 0) {
    return std::string();
  }
  std::wstring units(static_cast<size_t>(length), L'\0');
  if (MultiByteToWideChar(code_page, 0, text.data(), size, &units[0], length) !=
      length) {
    return std::string();
  }
  return narrow(units);
}

}  // namespace qp
