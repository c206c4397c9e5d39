// Texts that come from outside the program (names, paths, arguments, INI
// values) made safe to show: a file name may hold any byte but "/" and NUL,
// escape sequences and line feeds included.
#ifndef QUILLPACK_LOG_OUTSIDE_TEXT_H_
#define QUILLPACK_LOG_OUTSIDE_TEXT_H_

#include <cstddef>
#include <string>

namespace qp {

// The text with every C0 control, DEL, C1 control (U+0080 to U+009F) and
// byte that is not part of valid UTF-8 written as \xHH, one per byte, in
// upper-case hex. Everything else, a backslash too, stays as it is.
std::string escape_outside_text(const std::string& text);
// The escaped text in single quotes, as every fault text names a key, a
// value or a path from outside.
std::string quote_outside_text(const std::string& text);

// The first count characters of valid UTF-8 text (all of it when shorter);
// a character is never split.
std::string first_characters(const std::string& text, size_t count);
// The number of characters of valid UTF-8 text.
size_t character_count(const std::string& text);

}  // namespace qp

#endif  // QUILLPACK_LOG_OUTSIDE_TEXT_H_
