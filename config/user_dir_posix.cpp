// The user's settings directory on POSIX, after the XDG base directory
// rules.
#include "config/user_dir.h"

#include <cstdlib>
#include <string>

#include "base/paths.h"

namespace qp {
namespace {

// The variable's value when it is an absolute path, else empty.
std::string absolute_variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') {
    return std::string();
  }
  return value;
}

std::string as_directory(const std::string& path) {
  return trim_right(path, "/") + "/";
}

}  // namespace

std::string user_config_directory() {
  std::string config_home = absolute_variable("XDG_CONFIG_HOME");
  if (!config_home.empty()) {
    return as_directory(config_home);
  }
  std::string home = absolute_variable("HOME");
  if (!home.empty()) {
    return as_directory(home) + ".config/";
  }
  return std::string();
}

}  // namespace qp
