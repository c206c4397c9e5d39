// Name texts on Windows.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "base/name_text.h"
#include "base/utf8.h"
#include "base/wide_win32.h"

namespace qp {

// An INI file saved in the legacy ANSI code page (Windows editors long did
// so by default) holds its values in it, and the UTF-8 process code page
// of the manifest does not name that code page: the system locale does.
std::string name_text(const std::string& value) {
  if (is_valid_utf8(value)) {
    return value;
  }
  wchar_t digits[8] = {0};
  if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, digits,
                     8) == 0) {
    return value;
  }
  const unsigned code_page = static_cast<unsigned>(_wtoi(digits));
  if (code_page == 0 || code_page == CP_UTF8) {
    return value;
  }
  const std::string converted = code_page_to_utf8(value, code_page);
  return converted.empty() ? value : converted;
}

}  // namespace qp
