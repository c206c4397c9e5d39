// What the packing needs of MIME (RFC 2045, 2046, 2047, 2231): the fields
// of a part's header and their parameters, and the two transfer encodings
// a body is written in.
#ifndef QUILLPACK_PACK_MIME_PARTS_H_
#define QUILLPACK_PACK_MIME_PARTS_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace qp {

// Whether a header line (not a continuation) is the field name.
bool is_field(std::string_view line, std::string_view name);

// The value of an unfolded field after its colon, without the spaces
// around it.
std::string_view field_value(std::string_view field);

// The media type of a Content-Type value ("multipart/mixed"), or the
// disposition or encoding before any parameter, in lower case.
std::string value_token(std::string_view value);

// A parameter of a Content-Type or Content-Disposition value, decoded:
// quoted strings unquoted, RFC 2231 continuations joined and their
// percent escapes undone, RFC 2047 encoded words decoded; UTF-8 where the
// charset is UTF-8, US-ASCII or ISO-8859-1, the bytes as they are for any
// other. Empty when it is not there.
std::string parameter(std::string_view value, std::string_view name);

// Decodes the RFC 2047 encoded words of a text.
std::string decode_encoded_words(std::string_view text);

// Base64 in lines of 76 characters, each ending in LF; bytes that do not
// fill a group of 57 wait in carry for the next call, and the last call
// (at_end) writes them.
std::string base64_lines(std::string_view bytes, std::string& carry,
                         bool at_end);

// Quoted-printable (RFC 2045): LF and CR LF are line breaks, lines are at
// most 76 characters with soft breaks, spaces before a break and an "F"
// that begins a line are encoded (so that no line reads as a separator
// line). The state carries over between calls; the last call (at_end)
// ends the text without a final line end.
struct quoted_printable_state {
  std::string line;        // the encoded line so far
  char pending_space = 0;  // a space or tab not yet known to end a line
  bool pending_cr = false;
};
std::string quoted_printable(std::string_view bytes,
                             quoted_printable_state& state, bool at_end);

}  // namespace qp

#endif  // QUILLPACK_PACK_MIME_PARTS_H_
