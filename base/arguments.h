// The splitting of a command line into arguments, as Windows hands the
// whole line to a program.
#ifndef QUILLPACK_BASE_ARGUMENTS_H_
#define QUILLPACK_BASE_ARGUMENTS_H_

#include <string>
#include <vector>

namespace qp {

// Splits the text that follows the program's own name into arguments.
std::vector<std::string> split_arguments(const std::string& text);
// Skips the program's own name (quoted or not) and splits the rest.
std::vector<std::string> split_command_line(const std::string& line);

}  // namespace qp

#endif  // QUILLPACK_BASE_ARGUMENTS_H_
