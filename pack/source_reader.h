// The buffered reader of a source message. A line is delivered as a view
// into the reader's buffer, with its line end turned into one line feed; a
// line longer than the buffer arrives in pieces, and can be read ahead to
// its end without losing the reader's place.
#ifndef QUILLPACK_PACK_SOURCE_READER_H_
#define QUILLPACK_PACK_SOURCE_READER_H_

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "pack/locked_file.h"
#include "pack/message_marks.h"

namespace qp {

// One open source; each has its own position, end and buffer.
struct source_file;

source_file* open_source(const std::string& path);  // null on failure
// Reads from an open stream; closes it with the source when owned.
source_file* open_source_stream(std::FILE* stream, bool owned);
// Reads, from its current position, a stream made unbuffered before it was
// written (a buffer can only be changed before the first operation);
// closes it with the source.
source_file* open_written_source(std::FILE* stream);
void close_source(source_file* file);
// Back to the source's first byte.
void rewind_source(source_file* file);
// The next byte, read into the buffer but not taken; -1 at the end.
int peek_source_byte(source_file* file);
// Makes the bytes [start, end) of the file the whole source, read from
// start; false when the file cannot go there.
bool set_source_range(source_file* file, int64_t start, int64_t end);
// Up to size bytes of the file from offset, read past the reader, whose
// place stays as it was; the number read.
size_t read_source_at(source_file* file, int64_t offset, char* out,
                      size_t size);
// The end of the source as a file offset (its size when opened by path),
// -1 when unknown.
int64_t source_size(const source_file* file);
// The identity of a source opened by its path, from its open; {0, 0} when
// unknown.
file_identity source_identity(const source_file* file);
// True when the source opened by its path has more than one hard link.
bool source_has_several_links(const source_file* file);
// True when reading failed (not merely ended) since the source was opened.
bool source_failed(const source_file* file);
// True when a stop at once came while reading: the reader gave up.
bool source_abandoned(const source_file* file);

// The reader's buffer size: a line longer than this arrives in pieces.
// Tests make it small to exercise that path.
void set_reader_buffer_size(size_t bytes);

// Whether plain runs are tested with the widest compares the processor
// has (the default), or 16 bytes to a compare; tests take both.
void set_wide_block_test(bool wide);

struct line_piece {
  std::string_view content;   // without its line end
  bool has_line_end = false;  // the line ended with CR, LF or CR LF
  bool complete = true;       // false: more of this line follows
};

// Next line, or the next piece of a long line; false at end of input.
bool read_piece(source_file* file, line_piece& piece);

// The whole lines from the current position that can be copied as they
// stand, as one view into the buffer with their line ends: each ends in
// exactly CR LF (a bare LF when lf), and none begins with a byte of
// special. Empty when the next line is not such a line, or is not whole
// in the buffer; read_piece then takes it.
std::string_view read_plain_run(source_file* file, bool lf,
                                std::string_view special);

// Whether the next line begins with a byte of special, as far as the
// buffer shows; false when the buffer holds none of it.
bool next_line_begins_with(source_file* file, std::string_view special);

// Next whole line, its line end as one line feed; false at end of input.
bool read_line(source_file* file, std::string& line);

// The rest of a long line beyond the buffer's end, handed to take span by
// span (without the line end) until take returns false or the line ends;
// then the reader carries on where it was. True when the line end was
// reached.
bool read_line_ahead(source_file* file,
                     const std::function<bool(std::string_view)>& take);

// ---- The sources of messages ----

// The kinds of file a message comes from. A plain message file is its own
// bytes, as they stand; an Apple Mail file holds its message after a line
// with its length, and its marks after it (apple_mail.h); a partial one
// leaves the bodies of some parts in files beside it.
enum source_kind { SOURCE_PLAIN_FILE, SOURCE_APPLE_MAIL, SOURCE_APPLE_PARTIAL };

// A message opened for the transfer: the pull reader of its bytes, and the
// header lines (without line ends) its kind adds at the end of its header.
// A kind whose message is only part of its file opens the reader over that
// part; one that keeps facts outside the message (marks in its name) adds
// them as header lines.
struct message_source {
  source_file* reader = nullptr;  // null when the file could not be opened
  source_kind kind = SOURCE_PLAIN_FILE;
  std::vector<std::string> added_header;
  message_marks marks;
  // The sections whose bodies a partial file left out and that were not
  // found, as "2.2, 2.4": the message goes in without them.
  std::string missing_parts;
};

message_source open_message_source(const std::string& path);
void close_message_source(message_source& source);

}  // namespace qp

#endif  // QUILLPACK_PACK_SOURCE_READER_H_
