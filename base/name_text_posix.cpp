// Name texts on POSIX.
#include <string>

#include "base/name_text.h"

namespace qp {

// A name is bytes on POSIX: there is no code page to decode a value from.
std::string name_text(const std::string& value) {
  return value;
}

}  // namespace qp
