// Where the user's own settings live, by the convention of the platform.
#ifndef QUILLPACK_CONFIG_USER_DIR_H_
#define QUILLPACK_CONFIG_USER_DIR_H_

#include <string>

namespace qp {

// The directory under which programs keep their user's settings, ending in
// a separator: on POSIX $XDG_CONFIG_HOME, else $HOME/.config; on Windows
// %APPDATA%, in UTF-8. Empty when the environment names no absolute one: a
// relative name would make the current directory configure the program.
std::string user_config_directory();

}  // namespace qp

#endif  // QUILLPACK_CONFIG_USER_DIR_H_
