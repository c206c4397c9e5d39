// Facts about the lines of a source, however long: whether a line is a
// separator line, a header field and of which kind, whether mboxrd quoting
// changes it; and the header block they make up.
#ifndef QUILLPACK_PACK_LINE_FACTS_H_
#define QUILLPACK_PACK_LINE_FACTS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pack/separator.h"
#include "pack/source_reader.h"

namespace qp {

// ---- One line ----

struct line_facts {
  int64_t colon = 0;
  field_kind kind = OTHER_FIELD;
  bool is_from = false;
  // A separator line once written: the transfer gives a last line without
  // a line end its line end.
  bool is_written_from = false;
  bool empty = false;  // a bare line end
  bool long_line = false;
};

// Reads one whole line for its facts.
bool read_line_facts(source_file* file, line_facts& facts);

// The mboxrd quoting test: "From " after zero or more ">". Unlike the
// separator test it needs no line end, so that every line a reader of
// that form unquotes was quoted.
bool is_mboxrd_content(std::string_view content);

// The separator and the mboxrd tests of a long line whose first piece was
// just read, the rest read ahead: the reader's place stays where it was.
bool long_line_is_from(source_file* file, std::string_view first_piece);
// The separator test of a long line as written, the end of input taken for
// its line end.
bool long_line_is_written_from(source_file* file, std::string_view first_piece);
bool long_line_is_mboxrd(source_file* file, std::string_view first_piece);

// ---- Header block ----

// Sees the header lines of a message as one scan reads them, each line in
// pieces (without its line end), then its end: a date, a digest or the
// fields of a composed separator line come from the same pass as the
// transfer or the check. Every line of the block is seen, separator lines
// and the empty line that ends it included; the separator line before the
// block is not.
class header_observer {
 public:
  virtual void feed(std::string_view piece) = 0;
  virtual void end_line(const line_facts& facts) = 0;

 protected:
  ~header_observer() = default;
};

// Where a scan that writes puts the lines it reads: every line but the
// separator lines, which the header loses.
class header_sink {
 public:
  virtual void piece(std::string_view bytes) = 0;
  virtual void end_of_line(bool has_line_end) = 0;
  // A whole line in one piece.
  virtual void line(std::string_view bytes, bool has_line_end) = 0;
  // The block ends here: before the empty line that ends it, or at the end
  // of input when none came.
  virtual void header_end() = 0;
  // Whole lines that need no change and begin with no byte of special
  // (the lines the scan must still look at), copied as they stand when
  // that is due. False when none were.
  virtual bool plain_run(source_file* file, std::string_view special) = 0;

 protected:
  ~header_sink() = default;
};

struct header_indicators {
  int64_t first_colon = 0;
  int kinds_seen = OTHER_FIELD;  // field_kind bits
};

struct header_scan_options {
  header_sink* sink = nullptr;          // null: the scan only reads
  header_observer* observer = nullptr;  // null: none
  // A scan that only reads stops after this many bytes (-1: no limit).
  int64_t byte_limit = -1;
};

struct header_scan {
  header_indicators indicators;
  bool aborted = false;    // a stop came while reading
  bool ended = false;      // the empty line that ends the block came
  bool cut_short = false;  // the byte limit came first
};

// The one scan of a header block, from the current position: the first
// line, then every line up to and including the first empty one. Fields
// after the first date and from fields are not classified any further.
header_scan scan_header(source_file* file,
                        const header_scan_options& options = {});

// The verdict on a scanned header: 0 for a message, else E_ABORTED,
// E_READ or E_SOURCE_FORMAT.
int64_t header_fault(const header_scan& scan, const source_file* file);

bool looks_like_message(const header_indicators& indicators);

}  // namespace qp

#endif  // QUILLPACK_PACK_LINE_FACTS_H_
