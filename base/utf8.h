// UTF-8 inside the program, UTF-16 at the edge of the Windows services.
//
// Names reach the program from the system as UTF-16, which need not be
// valid: a lone surrogate is a legal code unit in an NTFS name. Such a unit
// is kept as the three-byte sequence it would have if surrogates were
// characters, so that the name converts back to exactly the units it came
// from and the file can still be opened. Text read from a file (the INI
// file, a message) may hold any bytes: a byte that is not part of a valid
// sequence becomes U+FFFD on its way to the system.
#ifndef QUILLPACK_BASE_UTF8_H_
#define QUILLPACK_BASE_UTF8_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace qp {

// The length (1 to 4) of the valid UTF-8 sequence that begins at text[at],
// with its code point in code; 0 when the byte there begins none. Encoded
// surrogates are valid only when allow_surrogates is set.
size_t decode_utf8(std::string_view text, size_t at, char32_t& code,
                   bool allow_surrogates = false);

// Whether every byte of text is ASCII: then each byte is one character.
bool is_ascii(std::string_view text);

// Whether text is valid UTF-8 throughout (no encoded surrogates).
bool is_valid_utf8(std::string_view text);

// UTF-8 to UTF-16: encoded surrogates come back as the lone units they
// stand for, every other stray byte becomes U+FFFD.
std::u16string utf8_to_utf16(std::string_view text);

// UTF-16 to UTF-8: pairs as one four-byte sequence, lone surrogates as the
// three-byte sequence of their value.
std::string utf16_to_utf8(std::u16string_view units);

// The bytes of one code point (surrogates included) appended to out.
void append_utf8(char32_t code, std::string& out);

}  // namespace qp

#endif  // QUILLPACK_BASE_UTF8_H_
