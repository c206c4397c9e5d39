// Apple Mail's message files, known by their content whatever their name:
// a first line with the length of the message in bytes (digits, padded
// with spaces or not, then LF), the message, then a property list that
// begins "<?xml" and keeps the message's flags. A file named
// "*.partial.emlx" leaves the bodies of some parts in files beside it
// (partial_parts.h).
#ifndef QUILLPACK_PACK_APPLE_MAIL_H_
#define QUILLPACK_PACK_APPLE_MAIL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "pack/message_marks.h"
#include "pack/source_reader.h"

namespace qp {

// The length the first line of head gives; the line's size with its LF,
// or 0 when it is no such line.
size_t apple_count_line(std::string_view head, uint64_t& count);

// The flags integer of a property list; false when it has none.
bool find_apple_flags(std::string_view plist, uint64_t& flags);

// The marks of the flags: bit 0 read, 1 deleted, 2 answered, 4 flagged,
// 6 draft; the other bits say nothing of them.
message_marks marks_of_apple_flags(uint64_t flags);

// Whether a file name ends in ".partial.emlx", in any letter case.
bool is_partial_emlx_name(std::string_view name);

// Makes source, opened on path as a plain file, the message of an Apple
// Mail file when it is one; otherwise leaves it as it is, at its start.
void take_apple_mail_file(const std::string& path, message_source& source);

}  // namespace qp

#endif  // QUILLPACK_PACK_APPLE_MAIL_H_
