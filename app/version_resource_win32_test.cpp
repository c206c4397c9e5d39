// The version resource of quillpack.exe, read back as Explorer reads it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/wide_win32.h"

namespace {

// The program lies beside the test binary in the build.
std::wstring program_path() {
  wchar_t own[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH);
  std::wstring path(own, length);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"quillpack.exe";
}

std::string string_value(const std::vector<char>& info, const wchar_t* name) {
  void* value = nullptr;
  UINT length = 0;
  std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  if (!VerQueryValueW(info.data(), key.c_str(), &value, &length)) {
    return "<missing>";
  }
  return qp::narrow(std::wstring(static_cast<const wchar_t*>(value)));
}

TEST(version_resource, ThePropertiesExplorerShows) {
  std::wstring path = program_path();
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
  ASSERT_GT(size, 0u) << "no version resource";
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\",
                             reinterpret_cast<void**>(&fixed), &length));
  // The project's version with zeros up to four numbers: 0.66 is 0.66.0.0.
  std::string version = QUILLPACK_VERSION;
  std::string padded = version;
  for (size_t dots = std::count(version.begin(), version.end(), '.'); dots < 3;
       ++dots) {
    padded += ".0";
  }
  std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                        std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                        std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
                        std::to_string(LOWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(numbers, padded);
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

  EXPECT_EQ(string_value(info, L"FileVersion"), version);
  EXPECT_EQ(string_value(info, L"ProductVersion"), version);
  EXPECT_EQ(string_value(info, L"ProductName"), "quillpack");
  EXPECT_EQ(string_value(info, L"FileDescription"),
            "Packs separate e-mail files into mbox files");
  EXPECT_NE(string_value(info, L"LegalCopyright").find("MIT License"),
            std::string::npos);
}

}  // namespace
