#include "tests/support/scratch.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace qp {
namespace testing_support {

namespace fs = std::filesystem;

scratch_dir::scratch_dir() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = base / ("qp-unit-" + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = candidate.string();
      path_ += fs::path::preferred_separator;
      return;
    }
  }
}

scratch_dir::~scratch_dir() {
  std::error_code error;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
  fs::remove_all(path_, error);
}

std::string scratch_dir::write(const std::string& relative,
                               const std::string& bytes) {
  fs::path full = fs::path(path_) / relative;
  fs::create_directories(full.parent_path());
  write_file(full.string(), bytes);
  return full.string();
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace testing_support
}  // namespace qp
