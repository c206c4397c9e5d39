#include "pack/transfer.h"

#include <cstring>
#include <string>
#include <vector>

#include "base/wildcard.h"
#include "pack/line_facts.h"
#include "pack/locked_file.h"
#include "pack/marks_header.h"
#include "pack/result.h"
#include "pack/separator.h"
#include "pack/separator_fields.h"
#include "pack/source_reader.h"
#include "window/events.h"

namespace qp {
namespace {

// Writes lines into the target, counting the bytes exactly as they land.
struct message_writer {
  locked_file* target;
  int64_t line_end_bytes = line_end_size(target);
  int64_t count = 0;
  bool last_had_line_end = true;

  void piece(std::string_view bytes) {
    write_bytes(target, bytes);
    count += static_cast<int64_t>(bytes.size());
  }
  void line_end() {
    write_line_end(target);
    count += line_end_bytes;
  }
  // A whole line in one piece.
  void line(std::string_view bytes, bool has_line_end) {
    last_had_line_end = has_line_end;
    if (has_line_end) {
      write_line(target, bytes);
      count += static_cast<int64_t>(bytes.size()) + line_end_bytes;
    } else {
      piece(bytes);
    }
  }
  // Whole lines that need no change, line ends included.
  void run(std::string_view bytes) {
    write_span(target, bytes);
    count += static_cast<int64_t>(bytes.size());
    last_had_line_end = true;
  }
  // Whole lines that need no change but their bare LF line ends, which the
  // target's line end replaces.
  void lf_run(std::string_view bytes) {
    count += static_cast<int64_t>(write_lf_lines(target, bytes));
    last_had_line_end = true;
  }
  void end_of_line(bool has_line_end) {
    last_had_line_end = has_line_end;
    if (has_line_end) {
      line_end();
    }
  }
};

// Copies the rest of a line whose first piece was written (or dropped).
void copy_rest_of_line(source_file* file, line_piece& piece,
                       message_writer* writer) {
  while (!piece.complete) {
    if (!read_piece(file, piece)) {
      piece.has_line_end = false;
      break;
    }
    if (writer) {
      writer->piece(piece.content);
    }
  }
  if (writer) {
    writer->end_of_line(piece.has_line_end);
  }
}

struct body_state {
  quoting_mode mode;
  bool quoting_active;
  const transfer_options* options;
  // Separator lines written as they are.
  int64_t unprotected = 0;
};

// The separator test of a line as it is written: a last line without a
// line end gets one, so it is tested as if it had it.
bool written_is_from(std::string_view content) {
  return is_from_content(content, true);
}

// Whether the active quoting changes a whole line, and how.
bool quoting_changes(const body_state& state, std::string_view content) {
  return state.options->mboxrd ? is_mboxrd_content(content)
                               : written_is_from(content);
}

std::string_view quote_mark(const body_state& state) {
  return state.options->mboxrd ? ">" : " ";
}

void transfer_body_line(source_file* file, line_piece& piece, body_state& state,
                        message_writer& writer) {
  if (state.mode == FROM_GUARDED) {
    // The markers are matched against the whole line: a long one is
    // gathered first.
    std::string whole;
    std::string_view content = piece.content;
    if (!piece.complete) {
      whole.assign(piece.content);
      while (!piece.complete && read_piece(file, piece)) {
        whole.append(piece.content);
      }
      if (!piece.complete) {
        piece.has_line_end = false;
      }
      piece.complete = true;
      content = whole;
    }
    if (state.quoting_active &&
        match_pattern(state.options->donotchange_begin, content)) {
      state.quoting_active = false;
    }
    if (!state.quoting_active &&
        match_pattern(state.options->donotchange_end, content)) {
      state.quoting_active = true;
    }
    if (state.quoting_active && quoting_changes(state, content)) {
      writer.piece(quote_mark(state));
    } else if (written_is_from(content)) {
      ++state.unprotected;
    }
    writer.piece(content);
    writer.end_of_line(piece.has_line_end);
    return;
  }
  if (piece.complete) {
    if (state.quoting_active) {
      if (quoting_changes(state, piece.content)) {
        writer.piece(quote_mark(state));
      }
    } else if (written_is_from(piece.content)) {
      ++state.unprotected;
    }
    writer.line(piece.content, piece.has_line_end);
    return;
  }
  if (state.quoting_active) {
    bool quote = state.options->mboxrd
                     ? long_line_is_mboxrd(file, piece.content)
                     : long_line_is_written_from(file, piece.content);
    if (quote) {
      writer.piece(quote_mark(state));
    }
  } else if (long_line_is_written_from(file, piece.content)) {
    ++state.unprotected;
  }
  writer.piece(piece.content);
  copy_rest_of_line(file, piece, &writer);
}

// When to try a plain run: after one fails, the next try waits for a
// number of lines that doubles while they keep failing, so that a source
// whose line ends all change is not searched twice.
class run_backoff {
 public:
  bool try_now() {
    if (wait_ > 0) {
      --wait_;
      return false;
    }
    return true;
  }
  void failed() {
    wait_ = next_;
    next_ = next_ < 1024 ? next_ * 2 : 1024;
  }
  void succeeded() {
    next_ = 1;
  }

 private:
  int wait_ = 0;
  int next_ = 1;
};

// Writes the next run of lines that need no change when one is due; false
// when none is, and the next line takes the line-by-line path.
bool write_plain_run(source_file* file, bool lf, std::string_view special,
                     run_backoff& backoff, message_writer& writer) {
  if (!backoff.try_now()) {
    return false;
  }
  if (next_line_begins_with(file, special)) {
    // That line alone needs a look: the lines after it may well be plain.
    return false;
  }
  std::string_view run = read_plain_run(file, lf, special);
  bool bare_lf = false;
  if (run.empty() && !lf) {
    // Lines ended by a bare LF, for a CR LF target: the same run, each line
    // given the target's line end on its way.
    run = read_plain_run(file, true, special);
    bare_lf = true;
  }
  if (run.empty()) {
    backoff.failed();
    return false;
  }
  backoff.succeeded();
  if (bare_lf) {
    writer.lf_run(run);
  } else {
    writer.run(run);
  }
  do_events();
  return true;
}

// The separator test of a line whose first piece is in hand, as written.
bool piece_is_from(source_file* file, const line_piece& piece) {
  return piece.complete ? written_is_from(piece.content)
                        : long_line_is_written_from(file, piece.content);
}

// The header as the scan writes it, with the lines the source adds at its
// end, and then its marks unless the header carries marks of its own.
class header_writer final : public header_sink {
 public:
  header_writer(message_writer& writer,
                const std::vector<std::string>& added_header,
                const std::vector<std::string>& marks_lines,
                const own_marks_watch& own_marks)
      : writer_(writer),
        added_header_(added_header),
        marks_lines_(marks_lines),
        own_marks_(own_marks),
        lf_(writer.line_end_bytes == 1) {}

  void piece(std::string_view bytes) override {
    writer_.piece(bytes);
  }
  void end_of_line(bool has_line_end) override {
    writer_.end_of_line(has_line_end);
  }
  void line(std::string_view bytes, bool has_line_end) override {
    writer_.line(bytes, has_line_end);
  }
  void header_end() override {
    add_lines(added_header_);
    if (!own_marks_.seen()) {
      add_lines(marks_lines_);
    }
  }
  bool plain_run(source_file* file, std::string_view special) override {
    return write_plain_run(file, lf_, special, backoff_, writer_);
  }

 private:
  void add_lines(const std::vector<std::string>& lines) {
    if (lines.empty()) {
      return;
    }
    if (!writer_.last_had_line_end) {
      writer_.line_end();
    }
    for (const std::string& line : lines) {
      writer_.line(line, true);
    }
  }

  message_writer& writer_;
  const std::vector<std::string>& added_header_;
  const std::vector<std::string>& marks_lines_;
  const own_marks_watch& own_marks_;
  bool lf_;
  run_backoff backoff_;
};

// The body after the header; the lines that need no change go out as
// runs straight from the reader's buffer.
void transfer_body(source_file* source, body_state& state,
                   message_writer& writer) {
  bool plain_runs = state.mode != FROM_GUARDED;
  bool lf = writer.line_end_bytes == 1;
  // Only a line that begins so can be a separator line or need quoting.
  std::string_view special = state.options->mboxrd ? "F>" : "F";
  line_piece piece;
  run_backoff backoff;
  while (true) {
    if (plain_runs && write_plain_run(source, lf, special, backoff, writer)) {
      continue;
    }
    if (!read_piece(source, piece)) {
      break;
    }
    do_events();
    transfer_body_line(source, piece, state, writer);
  }
}

// The message end: the closing line end, the empty line between messages.
// A header without the empty line that ends it gets one first, or readers
// would take the line between messages for it.
int64_t finish_message(source_file* source, const body_state& state,
                       bool header_ended, message_writer& writer,
                       const transfer_options& options, transfer_notes* notes) {
  if (source_abandoned(source)) {
    return E_ABORTED;  // the caller removes what was written of it
  }
  if (!writer.last_had_line_end) {
    writer.line_end();
  }
  if (options.empty_line_between) {
    if (!header_ended) {
      writer.line_end();
    }
    writer.line_end();
  }
  if (source_failed(source)) {
    return E_READ;  // the caller removes what was written of it
  }
  if (notes) {
    notes->unprotected_lines = state.unprotected;
  }
  return writer.count;
}

// The separator line written for a source that brings none, from its
// start: the fixed line, or one composed from its header when asked (read
// in a first pass that only reads). 0, or the fault that makes the source
// no message.
int64_t write_separator(source_file* source, const transfer_options& options,
                        message_writer& writer) {
  if (!options.header_separator) {
    writer.piece(fallback_from_line.substr(0, fallback_from_line.size() - 1));
    writer.line_end();
    return 0;
  }
  separator_fields fields;
  header_scan_options reading;
  reading.observer = &fields;
  int64_t fault = header_fault(scan_header(source, reading), source);
  if (fault != 0) {
    return fault;
  }
  rewind_source(source);
  std::string separator = fields.compose();
  writer.piece(std::string_view(separator).substr(0, separator.size() - 1));
  writer.line_end();
  return 0;
}

}  // namespace

int64_t transfer_source(const message_source& source, locked_file* target,
                        const transfer_options& options, transfer_notes* notes,
                        header_observer* observer) {
  if (notes) {
    *notes = transfer_notes{};
  }
  source_file* reader = source.reader;
  if (!reader) {
    return E_READ;
  }
  // The header is written while it is checked, so that it is read once
  // (twice for a composed separator); a message that fails the check is
  // taken back out of the target.
  int64_t mark = file_position(target);
  message_writer writer{target};
  // A separator line of the source's own stays, and its message is never
  // quoted.
  line_piece first;
  bool own_separator =
      read_piece(reader, first) && piece_is_from(reader, first);
  int64_t fault = 0;
  if (own_separator) {
    writer.piece(first.content);
    copy_rest_of_line(reader, first, &writer);
  } else {
    rewind_source(reader);
    fault = write_separator(reader, options, writer);
  }
  header_scan header;
  if (fault == 0) {
    // Only a message with marks to add has its header watched, so that
    // every other header still goes out in runs.
    const std::vector<std::string> marks_lines =
        options.write_marks ? marks_header_lines(source.marks)
                            : std::vector<std::string>();
    own_marks_watch own_marks(observer);
    header_writer sink(writer, source.added_header, marks_lines, own_marks);
    header_scan_options writing;
    writing.sink = &sink;
    writing.observer = marks_lines.empty() ? observer : &own_marks;
    header = scan_header(reader, writing);
    fault = header_fault(header, reader);
  }
  if (fault != 0) {
    take_back_to(target, mark);
    return fault;
  }
  quoting_mode mode = own_separator ? FROM_KEEP : options.mode;
  body_state state{mode, mode != FROM_KEEP, &options};
  transfer_body(reader, state, writer);
  const int64_t result =
      finish_message(reader, state, header.ended, writer, options, notes);
  if (notes && result >= 0) {
    notes->missing_parts = source.missing_parts;
  }
  return result;
}

int64_t transfer_from(source_file* source, locked_file* target,
                      const transfer_options& options, transfer_notes* notes) {
  message_source plain;
  plain.reader = source;
  return transfer_source(plain, target, options, notes);
}

int64_t transfer_message(const std::string& source_path, locked_file* target,
                         const transfer_options& options,
                         transfer_notes* notes) {
  message_source source = open_message_source(source_path);
  int64_t result = transfer_source(source, target, options, notes);
  close_message_source(source);
  return result;
}

}  // namespace qp
