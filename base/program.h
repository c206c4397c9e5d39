// The program's name, version and banner, and the exit codes of a run.
#ifndef QUILLPACK_BASE_PROGRAM_H_
#define QUILLPACK_BASE_PROGRAM_H_

namespace qp {

inline constexpr const char* program_name = "quillpack";
// The version comes from the build (the project's version in CMakeLists.txt).
inline constexpr const char* program_banner = "quillpack " QUILLPACK_VERSION;

enum exit_code {
  exit_ok = 0,
  exit_no_files = 1,
  exit_errors = 2,
  exit_fatal = 3
};

}  // namespace qp

#endif  // QUILLPACK_BASE_PROGRAM_H_
