// The transfer of one message into an open mbox file, read through the
// source reader and judged by the line facts.
//
// The mbox format written: per message a separator line, the header block
// (without separator lines), the body (separator lines quoted with one space
// or, mboxrd, with a ">", when the quoting mode says so), a closing line end
// when the last line lacked one, and optionally one empty line. Every line
// end is CR LF, or LF when the target is set so.
#ifndef QUILLPACK_PACK_TRANSFER_H_
#define QUILLPACK_PACK_TRANSFER_H_

#include <cstdint>
#include <string>

#include "config/settings.h"
#include "pack/line_facts.h"
#include "pack/source_reader.h"

namespace qp {

class locked_file;

struct transfer_options {
  quoting_mode mode = FROM_KEEP;
  std::string donotchange_begin;
  std::string donotchange_end;
  bool mboxrd = false;  // quote with ">" every ">*From " line, not " "
  bool header_separator = false;    // compose the separator from the header
  bool empty_line_between = false;  // an empty line after every message
  bool write_marks = true;  // a message's marks as Status: and X-Status:
};

// What a written message leaves to tell.
struct transfer_notes {
  // Body lines that are separator lines, written unchanged because the
  // message is not quoted.
  int64_t unprotected_lines = 0;
  // The sections of a partial message whose bodies were not found
  // ("2.2, 2.4"): the message went in without them.
  std::string missing_parts;
};

// Writes one source message to target, with the target's line ends and
// the header lines its source adds. Returns the exact number of bytes the
// message occupies in the target, or E_READ, E_SOURCE_FORMAT or E_ABORTED:
// a message that fails the check is taken back out of the target, one cut
// short by a read error or a stop at once is left for the caller to cut
// back. observer, when given, sees the header lines as they are written.
int64_t transfer_source(const message_source& source, locked_file* target,
                        const transfer_options& options,
                        transfer_notes* notes = nullptr,
                        header_observer* observer = nullptr);
// The same for a plain message file, by its path or its open reader.
int64_t transfer_message(const std::string& source_path, locked_file* target,
                         const transfer_options& options,
                         transfer_notes* notes = nullptr);
int64_t transfer_from(source_file* source, locked_file* target,
                      const transfer_options& options,
                      transfer_notes* notes = nullptr);

}  // namespace qp

#endif  // QUILLPACK_PACK_TRANSFER_H_
