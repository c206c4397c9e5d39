// The user's settings directory on Windows: %APPDATA%, the roaming profile's
// application data, which the user can write without administrator rights.
#include <windows.h>

#include <string>
#include <vector>

#include "base/wide_win32.h"
#include "config/user_dir.h"

namespace qp {
namespace {

// The variable's value through the wide service, so that a profile named in
// any script arrives whole; empty when unset or empty.
std::wstring wide_variable(const wchar_t* name) {
  std::vector<wchar_t> buffer(MAX_PATH);
  while (true) {
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD length = GetEnvironmentVariableW(name, buffer.data(), size);
    if (length == 0) {
      return std::wstring();
    }
    if (length < size) {
      return std::wstring(buffer.data(), length);
    }
    buffer.resize(length);  // length is the size needed, terminator included
  }
}

// A drive with its root ("c:\") or a network share ("\\server\...").
bool is_absolute(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' &&
      (path[2] == L'\\' || path[2] == L'/')) {
    return true;
  }
  return path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\';
}

}  // namespace

std::string user_config_directory() {
  std::wstring app_data = wide_variable(L"APPDATA");
  if (!is_absolute(app_data)) {
    return std::string();
  }
  if (app_data.back() != L'\\' && app_data.back() != L'/') {
    app_data += L'\\';
  }
  return narrow(app_data);
}

}  // namespace qp
