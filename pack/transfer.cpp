#include "pack/transfer.h"

#include <string>
#include <vector>

#include "base/wildcard.h"
#include "pack/line_facts.h"
#include "pack/locked_file.h"
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
  int64_t count = 0;
  bool last_had_line_end = true;

  void piece(std::string_view bytes) {
    write_bytes(target, bytes);
    count += static_cast<int64_t>(bytes.size());
  }
  void line_end() {
    write_line_end(target);
    count += line_end_size(target);
  }
  // A whole line in one piece.
  void line(std::string_view bytes, bool has_line_end) {
    last_had_line_end = has_line_end;
    if (has_line_end) {
      write_line(target, bytes);
      count += static_cast<int64_t>(bytes.size()) + line_end_size(target);
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
  std::string_view run = read_plain_run(file, lf, special);
  if (run.empty()) {
    backoff.failed();
    return false;
  }
  backoff.succeeded();
  writer.run(run);
  do_events();
  return true;
}

// The separator test of a line whose first piece is in hand, as written.
bool piece_is_from(source_file* file, const line_piece& piece) {
  return piece.complete ? written_is_from(piece.content)
                        : long_line_is_written_from(file, piece.content);
}

// The facts of a header line whose first piece is in hand, as
// read_line_facts finds them; the line is written unless it is a
// separator line, which the header loses.
void transfer_header_line(source_file* file, line_piece& piece, bool is_from,
                          line_facts& facts, message_writer& writer) {
  facts = line_facts{};
  facts.is_from = is_from;
  if (piece.complete) {
    facts.colon = header_colon(piece.content);
    facts.kind = header_kind_of(facts.colon, piece.content);
    facts.empty = piece.content.empty() && piece.has_line_end;
    if (!is_from) {
      writer.line(piece.content, piece.has_line_end);
    }
    return;
  }
  facts.long_line = true;
  header_colon_scan colon;
  while (true) {
    colon.feed(piece.content);
    if (!is_from) {
      writer.piece(piece.content);
    }
    if (piece.complete || !read_piece(file, piece)) {
      break;
    }
  }
  facts.colon = colon.result();
  facts.kind = header_kind_of(facts.colon, colon.head());
  if (!is_from) {
    writer.end_of_line(piece.has_line_end);
  }
}

// The header block from the current position, written while it is
// checked: the first line, then every line up to and including the first
// empty one, as scan_header reads it. ended tells whether that empty line
// came.
header_indicators transfer_header(source_file* file, message_writer& writer,
                                  bool& aborted, bool& ended) {
  header_indicators indicators;
  line_piece piece;
  if (!read_piece(file, piece)) {
    return indicators;
  }
  line_facts facts;
  transfer_header_line(file, piece, piece_is_from(file, piece), facts, writer);
  indicators.first_colon = facts.colon;
  if (facts.colon >= kind_colon) {
    indicators.kinds_seen = facts.kind;
  }
  bool lf = line_end_size(writer.target) == 1;
  run_backoff backoff;
  while (true) {
    // Once both fields are seen, only a separator line (which the header
    // loses) or the empty line that ends it matters: the other lines go out
    // as they stand.
    if (indicators.kinds_seen == DATE_AND_FROM_FIELDS &&
        write_plain_run(file, lf, "F\r\n", backoff, writer)) {
      if (!keep_running) {
        aborted = true;
        return indicators;
      }
      continue;
    }
    if (!read_piece(file, piece)) {
      break;
    }
    transfer_header_line(file, piece, piece_is_from(file, piece), facts,
                         writer);
    do_events();
    if (!keep_running) {
      aborted = true;
      return indicators;
    }
    if (indicators.kinds_seen != DATE_AND_FROM_FIELDS &&
        facts.colon >= kind_colon) {
      indicators.kinds_seen |= facts.kind;
      continue;
    }
    if (facts.empty) {
      ended = true;
      break;
    }
  }
  return indicators;
}

// The body after the header; the lines that need no change go out as
// runs straight from the reader's buffer.
void transfer_body(source_file* source, body_state& state,
                   message_writer& writer) {
  bool plain_runs = state.mode != FROM_GUARDED;
  bool lf = line_end_size(writer.target) == 1;
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

// A separator composed from the header: the header is read and checked
// first, then the message is written in a second pass.
int64_t transfer_composed(source_file* source, locked_file* target,
                          const transfer_options& options,
                          transfer_notes* notes) {
  // First pass: the separator choice and the message check, reading the
  // header without holding it; a composed separator line takes its fields
  // from it.
  line_facts first;
  bool own_separator =
      read_line_facts(source, first, nullptr) && first.is_written_from;
  if (!own_separator) {
    rewind_source(source);
  }
  separator_fields fields;
  bool compose = !own_separator && options.header_separator;
  header_scan header =
      scan_header(source, nullptr, compose ? &fields : nullptr);
  if (header.aborted || source_abandoned(source)) {
    return E_ABORTED;
  }
  if (!looks_like_message(header.indicators)) {
    return source_failed(source) ? E_READ : E_SOURCE_FORMAT;
  }
  if (!keep_running) {
    return E_ABORTED;
  }

  // Second pass: write the message.
  rewind_source(source);
  message_writer writer{target};
  line_piece piece;
  quoting_mode mode = own_separator ? FROM_KEEP : options.mode;
  if (own_separator) {
    read_piece(source, piece);
    writer.piece(piece.content);
    copy_rest_of_line(source, piece, &writer);
  } else {
    std::string composed;
    std::string_view separator = fallback_from_line;
    if (compose) {
      composed = fields.compose();
      separator = composed;
    }
    writer.piece(separator.substr(0, separator.size() - 1));
    writer.line_end();
  }
  size_t long_index = 0;
  for (int64_t i = 0; i < header.lines && read_piece(source, piece); ++i) {
    do_events();
    bool from = piece.complete ? written_is_from(piece.content)
                               : long_index < header.long_from.size() &&
                                     header.long_from[long_index++];
    if (from) {
      copy_rest_of_line(source, piece, nullptr);
      continue;
    }
    if (piece.complete) {
      writer.line(piece.content, piece.has_line_end);
      continue;
    }
    writer.piece(piece.content);
    copy_rest_of_line(source, piece, &writer);
  }
  body_state state{mode, mode != FROM_KEEP, &options};
  transfer_body(source, state, writer);
  return finish_message(source, state, header.ended, writer, options, notes);
}

}  // namespace

int64_t transfer_from(source_file* source, locked_file* target,
                      const transfer_options& options, transfer_notes* notes) {
  if (notes) {
    *notes = transfer_notes{};
  }
  if (options.header_separator) {
    return transfer_composed(source, target, options, notes);
  }
  // The header is written while it is checked, so that it is read once;
  // a message that fails the check is taken back out of the target.
  int64_t mark = file_position(target);
  message_writer writer{target};
  line_piece piece;
  bool own_separator = false;
  if (read_piece(source, piece)) {
    own_separator = piece_is_from(source, piece);
  }
  if (own_separator) {
    writer.piece(piece.content);
    copy_rest_of_line(source, piece, &writer);
  } else {
    rewind_source(source);
    writer.piece(fallback_from_line.substr(0, fallback_from_line.size() - 1));
    writer.line_end();
  }
  bool aborted = false;
  bool header_ended = false;
  header_indicators indicators =
      transfer_header(source, writer, aborted, header_ended);
  int64_t fault = 0;
  if (aborted || source_abandoned(source)) {
    fault = E_ABORTED;
  } else if (!looks_like_message(indicators)) {
    fault = source_failed(source) ? E_READ : E_SOURCE_FORMAT;
  } else if (!keep_running) {
    fault = E_ABORTED;
  }
  if (fault != 0) {
    take_back_to(target, mark);
    return fault;
  }
  quoting_mode mode = own_separator ? FROM_KEEP : options.mode;
  body_state state{mode, mode != FROM_KEEP, &options};
  transfer_body(source, state, writer);
  return finish_message(source, state, header_ended, writer, options, notes);
}

int64_t transfer_message(const std::string& source_path, locked_file* target,
                         const transfer_options& options,
                         transfer_notes* notes) {
  if (notes) {
    *notes = transfer_notes{};
  }
  source_file* source = open_source(source_path);
  if (!source) {
    return E_READ;
  }
  int64_t result = transfer_from(source, target, options, notes);
  close_source(source);
  return result;
}

}  // namespace qp
