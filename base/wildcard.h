// Wildcard matching of file names and of message lines: "*" is any run of
// characters, "?" exactly one. Leftmost literal runs, no backtracking.
#ifndef QUILLPACK_BASE_WILDCARD_H_
#define QUILLPACK_BASE_WILDCARD_H_

#include <string_view>

namespace qp {

// The whole text against the whole pattern, letter case significant.
bool match_pattern(std::string_view pattern, std::string_view text);

// A file name against a name pattern: a to z folded, a dot added to a
// pattern or name that has none, and "?" matching one character (a whole
// UTF-8 sequence, or one byte that is not part of one).
bool match_file_name(std::string_view pattern, std::string_view name);

}  // namespace qp

#endif  // QUILLPACK_BASE_WILDCARD_H_
