// The status display that stands in for the window on a terminal (POSIX).
#ifndef QUILLPACK_WINDOW_TERMINAL_DISPLAY_H_
#define QUILLPACK_WINDOW_TERMINAL_DISPLAY_H_

#include <cstddef>
#include <string>
#include <vector>

namespace qp {

// The display's lines at a terminal width: the heading, FROM, TO and the
// bar with its percentage, each filled from the control of its role,
// whatever order the controls were made in.
std::vector<std::string> terminal_display_lines(size_t width);

}  // namespace qp

#endif  // QUILLPACK_WINDOW_TERMINAL_DISPLAY_H_
