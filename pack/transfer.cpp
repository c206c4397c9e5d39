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
  // Separator lines left as they are, counted when nothing is quoted.
  int64_t unprotected = 0;
};

// Whether the active quoting changes a whole line, and how.
bool quoting_changes(const body_state& state, std::string_view content,
                     bool has_line_end) {
  return state.options->mboxrd ? is_mboxrd_content(content)
                               : is_from_content(content, has_line_end);
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
    if (state.quoting_active &&
        quoting_changes(state, content, piece.has_line_end)) {
      writer.piece(quote_mark(state));
    }
    writer.piece(content);
    writer.end_of_line(piece.has_line_end);
    return;
  }
  if (piece.complete) {
    if (state.quoting_active) {
      if (quoting_changes(state, piece.content, piece.has_line_end)) {
        writer.piece(quote_mark(state));
      }
    } else if (is_from_content(piece.content, piece.has_line_end)) {
      ++state.unprotected;
    }
    writer.line(piece.content, piece.has_line_end);
    return;
  }
  if (state.quoting_active) {
    bool quote = state.options->mboxrd
                     ? long_line_is_mboxrd(file, piece.content)
                     : long_line_is_from(file, piece.content);
    if (quote) {
      writer.piece(quote_mark(state));
    }
  } else if (long_line_is_from(file, piece.content)) {
    ++state.unprotected;
  }
  writer.piece(piece.content);
  copy_rest_of_line(file, piece, &writer);
}

}  // namespace

int64_t transfer_from(source_file* source, locked_file* target,
                      const transfer_options& options, transfer_notes* notes) {
  if (notes) {
    *notes = transfer_notes{};
  }
  // First pass: the separator choice and the message check, reading the
  // header without holding it; a composed separator line takes its fields
  // from it.
  line_facts first;
  bool own_separator = read_line_facts(source, first, nullptr) && first.is_from;
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
    bool from = piece.complete
                    ? is_from_content(piece.content, piece.has_line_end)
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
  while (read_piece(source, piece)) {
    do_events();
    transfer_body_line(source, piece, state, writer);
  }
  if (source_abandoned(source)) {
    return E_ABORTED;  // the caller removes what was written of it
  }
  if (!writer.last_had_line_end) {
    writer.line_end();
  }
  if (options.empty_line_between) {
    writer.line_end();
  }
  if (source_failed(source)) {
    return E_READ;  // the caller removes what was written of it
  }
  if (notes && mode == FROM_KEEP) {
    notes->unprotected_lines = state.unprotected;
  }
  return writer.count;
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
