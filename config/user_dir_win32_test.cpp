// The user's settings directory from %APPDATA%, and which INI file a run
// reads.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/settings.h"
#include "config/user_dir.h"
#include "tests/support/scratch.h"

namespace qp {
namespace {

// Sets (or, for null, removes) APPDATA for the life of the object.
class scoped_app_data {
 public:
  explicit scoped_app_data(const wchar_t* value) {
    wchar_t buffer[32768];
    DWORD length = GetEnvironmentVariableW(L"APPDATA", buffer, 32768);
    had_value_ = length > 0 && length < 32768;
    old_ = had_value_ ? std::wstring(buffer, length) : std::wstring();
    SetEnvironmentVariableW(L"APPDATA", value);
  }
  ~scoped_app_data() {
    SetEnvironmentVariableW(L"APPDATA", had_value_ ? old_.c_str() : nullptr);
  }
  scoped_app_data(const scoped_app_data&) = delete;
  scoped_app_data& operator=(const scoped_app_data&) = delete;

 private:
  bool had_value_;
  std::wstring old_;
};

std::wstring widen(const std::string& utf8) {
  int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(),
                                  static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                      &out[0], count);
  return out;
}

TEST(user_config_directory, from_app_data_in_utf8) {
  struct app_data_case {
    const wchar_t* app_data;  // null: unset
    const char* expected;
  };
  const app_data_case cases[] = {
      {L"C:\\Users\\u\\AppData\\Roaming", "C:\\Users\\u\\AppData\\Roaming\\"},
      {L"C:\\Users\\u\\AppData\\Roaming\\", "C:\\Users\\u\\AppData\\Roaming\\"},
      {L"\\\\server\\profiles\\u", "\\\\server\\profiles\\u\\"},
      {L"C:\\Users\\J\u00f6rg \u0416", "C:\\Users\\J\xc3\xb6rg \xd0\x96\\"},
      {L"AppData\\Roaming", ""},
      {L"C:AppData", ""},
      {L"", ""},
      {nullptr, ""},
  };
  for (const app_data_case& c : cases) {
    scoped_app_data app_data(c.app_data);
    EXPECT_EQ(user_config_directory(), c.expected) << c.expected;
  }
}

TEST(ini_path, user_file_first_when_anything_is_there) {
  testing_support::scratch_dir dir;
  scoped_app_data app_data(widen(dir.path()).c_str());
  const std::string user = dir.path() + "quillpack\\quillpack.ini";
  EXPECT_EQ(user_ini_path(), user);
  EXPECT_EQ(ini_path(), executable_ini_path());

  std::filesystem::create_directories(user);  // there, but cannot be read
  EXPECT_EQ(ini_path(), user);
  std::filesystem::remove(user);
  dir.write("quillpack\\quillpack.ini", "[Names]\n");
  EXPECT_EQ(ini_path(), user);

  scoped_app_data no_app_data(nullptr);
  EXPECT_EQ(user_ini_path(), "");
  EXPECT_EQ(ini_path(), executable_ini_path());
}

}  // namespace
}  // namespace qp
