// The user's settings directory from the environment, and which INI file a
// run reads.
#include "config/user_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "config/settings.h"
#include "tests/support/scratch.h"

namespace qp {
namespace {

// Sets (or, for null, unsets) a variable for the life of the object.
class scoped_variable {
 public:
  scoped_variable(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_value_ = old != nullptr;
    old_ = had_value_ ? old : "";
    set(value);
  }
  ~scoped_variable() {
    set(had_value_ ? old_.c_str() : nullptr);
  }
  scoped_variable(const scoped_variable&) = delete;
  scoped_variable& operator=(const scoped_variable&) = delete;

 private:
  void set(const char* value) {
    if (value != nullptr) {
      setenv(name_, value, 1);
    } else {
      unsetenv(name_);
    }
  }
  const char* name_;
  bool had_value_;
  std::string old_;
};

struct directory_case {
  const char* config_home;  // null: unset
  const char* home;
  const char* expected;
};

TEST(user_config_directory, follows_xdg_then_home) {
  const directory_case cases[] = {
      {"/x/config", "/home/u", "/x/config/"},
      {"/x/config//", "/home/u", "/x/config/"},
      {"/", "/home/u", "/"},
      {nullptr, "/home/u", "/home/u/.config/"},
      {"", "/home/u/", "/home/u/.config/"},
      {"config", "/home/u", "/home/u/.config/"},
      {"./config", "/home/u", "/home/u/.config/"},
      {"/x", nullptr, "/x/"},
      {nullptr, "/", "/.config/"},
      {nullptr, nullptr, ""},
      {"config", nullptr, ""},
      {nullptr, "", ""},
      {nullptr, "home/u", ""},
  };
  for (const directory_case& c : cases) {
    scoped_variable config_home("XDG_CONFIG_HOME", c.config_home);
    scoped_variable home("HOME", c.home);
    EXPECT_EQ(user_config_directory(), c.expected)
        << "XDG_CONFIG_HOME=" << (c.config_home ? c.config_home : "(unset)")
        << " HOME=" << (c.home ? c.home : "(unset)");
  }
}

TEST(ini_path, user_file_first_when_anything_is_there) {
  testing_support::scratch_dir dir;
  scoped_variable config_home("XDG_CONFIG_HOME", dir.path().c_str());
  const std::string user = dir.path() + "quillpack/quillpack.ini";
  EXPECT_EQ(user_ini_path(), user);
  EXPECT_EQ(ini_path(), executable_ini_path());

  std::filesystem::create_directories(user);  // there, but cannot be read
  EXPECT_EQ(ini_path(), user);
  std::filesystem::remove(user);
  dir.write("quillpack/quillpack.ini", "[Names]\n");
  EXPECT_EQ(ini_path(), user);

  scoped_variable no_config_home("XDG_CONFIG_HOME", nullptr);
  scoped_variable no_home("HOME", nullptr);
  EXPECT_EQ(user_ini_path(), "");
  EXPECT_EQ(ini_path(), executable_ini_path());
}

}  // namespace
}  // namespace qp
