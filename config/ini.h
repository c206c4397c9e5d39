// The INI file reader: sections and key=value lines, structure only.
#ifndef QUILLPACK_CONFIG_INI_H_
#define QUILLPACK_CONFIG_INI_H_

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace qp {

struct ini_section {
  std::string name;  // as written between "[" and the first "]"; empty for
                     // the lines before the first header
  std::vector<std::pair<std::string, std::string>> entries;
};

struct ini_document {
  std::vector<ini_section> sections;
};

enum ini_status {
  INI_OK,
  INI_CANNOT_OPEN,
  INI_NO_SECTION,
  INI_INVALID_SECTION,  // line holds the line number
  INI_DUPLICATE_NAME,   // line holds the line number
  INI_TOO_LARGE,        // more than ini_size_limit bytes
};

// The largest INI file read: far above any real settings file, and small
// enough that reading it costs little.
constexpr std::size_t ini_size_limit = 1024 * 1024;

struct ini_result {
  ini_status status = INI_OK;
  int line = 0;
  ini_document document;
};

ini_result parse_ini(const std::string& path);
// The same rules over the file's bytes, for tests and fuzzing.
ini_result parse_ini_text(const std::string& text);

}  // namespace qp

#endif  // QUILLPACK_CONFIG_INI_H_
