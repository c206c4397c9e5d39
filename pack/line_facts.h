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
#include "pack/separator_fields.h"
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

// Reads one whole line for its facts, keeping only what the facts need:
// keep, when given, gets the line (its line end as one line feed); fields,
// when given, gathers what a composed separator line takes.
bool read_line_facts(source_file* file, line_facts& facts,
                     std::vector<std::string>* keep,
                     separator_fields* fields = nullptr);

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

struct header_indicators {
  int64_t first_colon = 0;
  int kinds_seen = OTHER_FIELD;  // field_kind bits
};

struct header_scan {
  header_indicators indicators;
  int64_t lines = 0;
  bool aborted = false;
  bool ended = false;  // the empty line that ends the block came
  // The separator test of each long line as written, in order.
  std::vector<bool> long_from;
};

// The header block from the current position: the first line, then every
// line up to and including the first empty one. Fields after the first
// date and from fields are not classified any further.
header_scan scan_header(source_file* file, std::vector<std::string>* keep,
                        separator_fields* fields = nullptr);

// The indicators of the header block from the current position, read to
// its end. Empty at end of input or when Cancel was confirmed while
// reading; aborted tells the two apart.
void read_header(source_file* file, header_indicators& indicators,
                 bool* aborted = nullptr);

bool looks_like_message(const header_indicators& indicators);

}  // namespace qp

#endif  // QUILLPACK_PACK_LINE_FACTS_H_
