// Test helpers: a scratch directory removed at the end of the test, and
// whole-file reads and writes.
#ifndef QUILLPACK_TESTS_SUPPORT_SCRATCH_H_
#define QUILLPACK_TESTS_SUPPORT_SCRATCH_H_

#include <string>

namespace qp {
namespace testing_support {

class scratch_dir {
 public:
  scratch_dir();
  ~scratch_dir();
  scratch_dir(const scratch_dir&) = delete;
  scratch_dir& operator=(const scratch_dir&) = delete;

  // The directory, ending in a separator.
  const std::string& path() const {
    return path_;
  }
  // Writes bytes to path() + relative, creating parent directories.
  std::string write(const std::string& relative, const std::string& bytes);

 private:
  std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

}  // namespace testing_support
}  // namespace qp

#endif  // QUILLPACK_TESTS_SUPPORT_SCRATCH_H_
