// The line reader, the header-block check and the transfer of one message
// into an open mbox file.
//
// The mbox format written: per message a separator line, the header block
// (without separator lines), the body (separator lines quoted with one space
// or, mboxrd, with a ">", when the quoting mode says so), a closing line end
// when the last line lacked one, and optionally one empty line. Every line
// end is CR LF, or LF when the target is set so.
#ifndef QUILLPACK_PACK_TRANSFER_H_
#define QUILLPACK_PACK_TRANSFER_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"

namespace qp {

class locked_file;

// ---- Line reader ----
//
// One source is read at a time, through one large buffer. A line is
// delivered as a view into the buffer, with its line end turned into one
// line feed; a line longer than the buffer arrives in pieces.

struct source_file;

source_file* open_source(const std::string& path);  // null on failure
// Reads from an open stream; closes it with the source when owned.
source_file* open_source_stream(std::FILE* stream, bool owned);
void close_source(source_file* file);
void rewind_source(source_file* file);
// True when reading failed (not merely ended) since the source was opened.
bool source_failed(const source_file* file);

// The reader's buffer size: a line longer than this arrives in pieces.
// Tests make it small to exercise that path.
void set_reader_buffer_size(size_t bytes);

struct line_piece {
  std::string_view content;   // without its line end
  bool has_line_end = false;  // the line ended with CR, LF or CR LF
  bool complete = true;       // false: more of this line follows
};

// Next line, or the next piece of a long line; false at end of input.
bool read_piece(source_file* file, line_piece& piece);

// Next whole line, its line end as one line feed; false at end of input.
bool read_line(source_file* file, std::string& line);

// ---- Header block ----

struct header_indicators {
  int64_t first_colon = 0;
  int kinds_seen = 0;
};

// The header block as lines, from the current position. Empty at end of
// input or when Cancel was confirmed while reading; aborted tells the two
// apart.
std::vector<std::string> read_header(source_file* file,
                                     header_indicators& indicators,
                                     bool* aborted = nullptr);

bool looks_like_message(const header_indicators& indicators);

// ---- Transfer ----

struct transfer_options {
  quoting_mode mode = FROM_KEEP;
  std::string donotchange_begin;
  std::string donotchange_end;
  bool mboxrd = false;  // quote with ">" every ">*From " line, not " "
  bool header_separator = false;    // compose the separator from the header
  bool empty_line_between = false;  // an empty line after every message
};

// What a written message leaves to tell.
struct transfer_notes {
  // Body lines that are separator lines, written unchanged because the
  // message is not quoted.
  int64_t unprotected_lines = 0;
};

// Writes one source message to target, with the target's line ends.
// Returns the exact number of bytes the message occupies in the target, or
// E_READ, E_SOURCE_FORMAT or E_ABORTED (nothing written).
int64_t transfer_message(const std::string& source_path, locked_file* target,
                         const transfer_options& options,
                         transfer_notes* notes = nullptr);
int64_t transfer_from(source_file* source, locked_file* target,
                      const transfer_options& options,
                      transfer_notes* notes = nullptr);

}  // namespace qp

#endif  // QUILLPACK_PACK_TRANSFER_H_
