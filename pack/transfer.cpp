#include "pack/transfer.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/wildcard.h"
#include "pack/locked_file.h"
#include "pack/raw_file.h"
#include "pack/result.h"
#include "pack/separator.h"
#include "pack/separator_fields.h"
#include "window/events.h"

namespace qp {

// ---- Line reader ----
//
// One source is read at a time, so the reader and its buffer are one
// process-wide instance. The buffer is never changed in place: a source
// whose header fits in it is read from the file once, even though the
// transfer passes over the header twice.

struct source_file {
  std::FILE* stream = nullptr;
  bool owned = false;
  int64_t buffer_offset = 0;  // file offset of buffer[0]
  size_t begin = 0;           // unread bytes are [begin, end)
  size_t end = 0;
  bool at_eof = false;
  bool failed = false;
  // The size the file had when it was opened, -1 for none: bytes appended
  // while it is read are not read, so a growing file still ends.
  int64_t limit = -1;
  bool abandoned = false;       // a stop at once came while reading
  bool skip_line_feed = false;  // the last line ended in a CR at the buffer end
  // The next CR as a file offset, when cr_found; otherwise the reader
  // knows that no CR lies before it. One search for CR then serves every
  // line up to it, so a file without CRs is searched once per buffer.
  int64_t cr_at = 0;
  bool cr_found = false;
};

namespace {

size_t reader_buffer_size = 256 * 1024;
std::vector<char> reader_buffer;
source_file reader;

void reset_reader_position(source_file* file) {
  file->buffer_offset = 0;
  file->begin = file->end = 0;
  file->at_eof = false;
  file->skip_line_feed = false;
  file->cr_at = 0;
  file->cr_found = false;
}

source_file* attach_reader(std::FILE* stream, bool owned, int64_t limit) {
  if (reader_buffer.size() != reader_buffer_size) {
    reader_buffer.assign(reader_buffer_size, '\0');
  }
  // Large reads go straight to the file, not through a second buffer.
  std::setvbuf(stream, nullptr, _IONBF, 0);
  reader = source_file{};
  reader.stream = stream;
  reader.owned = owned;
  reader.limit = limit;
  return &reader;
}

// Moves the unread bytes to the front and reads more behind them.
void refill(source_file* file) {
  char* buffer = reader_buffer.data();
  if (file->begin > 0) {
    size_t rest = file->end - file->begin;
    std::memmove(buffer, buffer + file->begin, rest);
    file->buffer_offset += static_cast<int64_t>(file->begin);
    file->begin = 0;
    file->end = rest;
  }
  size_t room = reader_buffer.size() - file->end;
  if (room == 0 || file->at_eof) {
    return;
  }
  // Once per buffer, so that a stop at once ends even a line of gigabytes.
  do_events();
  if (stop_at_once) {
    file->abandoned = true;
    file->at_eof = true;
    return;
  }
  bool to_limit = false;
  if (file->limit >= 0) {
    int64_t left =
        file->limit - file->buffer_offset - static_cast<int64_t>(file->end);
    if (left <= static_cast<int64_t>(room)) {
      room = left > 0 ? static_cast<size_t>(left) : 0;
      to_limit = true;
    }
  }
  size_t got =
      room > 0 ? std::fread(buffer + file->end, 1, room, file->stream) : 0;
  // fread comes back short only at the end of the file or on an error:
  // there is no need to ask the file once more.
  if (got < room || to_limit) {
    file->at_eof = true;
    if (std::ferror(file->stream)) {
      file->failed = true;
    }
  }
  file->end += got;
}

const char* find_line_end(const char* from, const char* to) {
  const void* lf = std::memchr(from, '\n', static_cast<size_t>(to - from));
  const char* limit = lf ? static_cast<const char*>(lf) : to;
  const void* cr = std::memchr(from, '\r', static_cast<size_t>(limit - from));
  if (cr) {
    return static_cast<const char*>(cr);
  }
  return lf ? limit : nullptr;
}

// find_line_end over the reader's buffer, with the CR search remembered.
const char* find_line_end_cached(source_file* file, const char* from,
                                 const char* to) {
  const char* buffer = reader_buffer.data();
  int64_t from_at = file->buffer_offset + (from - buffer);
  int64_t to_at = file->buffer_offset + (to - buffer);
  if (from_at > file->cr_at) {
    file->cr_at = from_at;
    file->cr_found = false;
  }
  if (!file->cr_found && file->cr_at < to_at) {
    const char* scan = buffer + (file->cr_at - file->buffer_offset);
    const void* cr = std::memchr(scan, '\r', static_cast<size_t>(to - scan));
    if (cr) {
      file->cr_at =
          file->buffer_offset + (static_cast<const char*>(cr) - buffer);
      file->cr_found = true;
    } else {
      file->cr_at = to_at;
    }
  }
  const char* limit =
      file->cr_found ? buffer + (file->cr_at - file->buffer_offset) : to;
  const void* lf = std::memchr(from, '\n', static_cast<size_t>(limit - from));
  if (lf) {
    return static_cast<const char*>(lf);
  }
  return file->cr_found ? limit : nullptr;
}

}  // namespace

void set_reader_buffer_size(size_t bytes) {
  reader_buffer_size = bytes < 2 ? 2 : bytes;
}

source_file* open_source(const std::string& path) {
  std::FILE* stream = raw_open_source(path);
  if (!stream) {
    return nullptr;
  }
  return attach_reader(stream, true, raw_stream_size(stream));
}

source_file* open_source_stream(std::FILE* stream, bool owned) {
  return attach_reader(stream, owned, -1);
}

void close_source(source_file* file) {
  if (!file) {
    return;
  }
  if (file->owned && file->stream) {
    std::fclose(file->stream);
  }
  file->stream = nullptr;
}

void rewind_source(source_file* file) {
  if (file->buffer_offset == 0 && !file->failed) {
    // The buffer still holds the file from its first byte.
    file->begin = 0;
    file->skip_line_feed = false;
    file->cr_at = 0;
    file->cr_found = false;
    return;
  }
  std::fseek(file->stream, 0, SEEK_SET);
  std::clearerr(file->stream);
  reset_reader_position(file);
}

bool source_failed(const source_file* file) {
  return file->failed;
}

bool read_piece(source_file* file, line_piece& piece) {
  char* buffer = reader_buffer.data();
  while (true) {
    if (file->skip_line_feed) {
      if (file->begin == file->end) {
        refill(file);
        if (file->begin == file->end) {
          file->skip_line_feed = false;
          return false;
        }
      }
      if (buffer[file->begin] == '\n') {
        ++file->begin;
      }
      file->skip_line_feed = false;
    }
    const char* start = buffer + file->begin;
    const char* stop = buffer + file->end;
    if (const char* mark = find_line_end_cached(file, start, stop)) {
      piece.content =
          std::string_view(start, static_cast<size_t>(mark - start));
      piece.has_line_end = true;
      piece.complete = true;
      size_t after = static_cast<size_t>(mark - buffer) + 1;
      if (*mark == '\r') {
        if (after < file->end) {
          if (buffer[after] == '\n') {
            ++after;
          }
        } else {
          file->skip_line_feed = true;
        }
      }
      file->begin = after;
      return true;
    }
    size_t pending = file->end - file->begin;
    if (file->at_eof) {
      if (pending == 0) {
        return false;
      }
      piece.content = std::string_view(start, pending);
      piece.has_line_end = false;
      piece.complete = true;
      file->begin = file->end;
      return true;
    }
    if (pending == reader_buffer.size()) {
      // A line longer than the buffer: hand it over piece by piece.
      piece.content = std::string_view(start, pending);
      piece.has_line_end = false;
      piece.complete = false;
      file->begin = file->end;
      return true;
    }
    refill(file);
  }
}

bool read_line(source_file* file, std::string& line) {
  line.clear();
  line_piece piece;
  if (!read_piece(file, piece)) {
    return false;
  }
  line.append(piece.content);
  while (!piece.complete && read_piece(file, piece)) {
    line.append(piece.content);
  }
  if (piece.has_line_end) {
    line.push_back('\n');
  }
  return true;
}

// ---- Facts about one line, however long ----

namespace {

bool is_from_content(std::string_view content, bool has_line_end) {
  if (!has_line_end) {
    return false;
  }
  if (content.size() < 5 || std::memcmp(content.data(), "From ", 5) != 0) {
    return false;
  }
  size_t i = 5;
  while (i < content.size() && (content[i] == ' ' || content[i] == '\t')) {
    ++i;
  }
  return i == content.size() || content[i] != ':';
}

struct line_facts {
  int64_t colon = 0;
  int kind = 0;
  bool is_from = false;
  bool empty = false;  // a bare line end
  bool long_line = false;
};

// Reads one whole line for its facts, keeping only what the facts need;
// fields, when given, gathers what a composed separator line takes.
bool read_line_facts(source_file* file, line_facts& facts,
                     std::vector<std::string>* keep,
                     separator_fields* fields = nullptr) {
  line_piece piece;
  if (!read_piece(file, piece)) {
    return false;
  }
  facts = line_facts{};
  if (piece.complete) {
    facts.colon = header_colon(piece.content);
    facts.kind = header_kind_of(facts.colon, piece.content);
    facts.is_from = is_from_content(piece.content, piece.has_line_end);
    facts.empty = piece.content.empty() && piece.has_line_end;
    if (fields) {
      fields->feed(piece.content);
      fields->end_line();
    }
    if (keep) {
      keep->emplace_back(piece.content);
      if (piece.has_line_end) {
        keep->back().push_back('\n');
      }
    }
    return true;
  }
  facts.long_line = true;
  header_colon_scan colon;
  from_line_scan from;
  std::string whole;
  while (true) {
    colon.feed(piece.content);
    from.feed(piece.content);
    if (fields) {
      fields->feed(piece.content);
    }
    if (keep) {
      whole.append(piece.content);
    }
    if (piece.complete || !read_piece(file, piece)) {
      break;
    }
  }
  if (fields) {
    fields->end_line();
  }
  facts.colon = colon.result();
  facts.kind = header_kind_of(facts.colon, colon.head());
  facts.is_from = from.finish(piece.has_line_end);
  if (keep) {
    if (piece.has_line_end) {
      whole.push_back('\n');
    }
    keep->push_back(std::move(whole));
  }
  return true;
}

struct header_scan {
  header_indicators indicators;
  int64_t lines = 0;
  bool aborted = false;
  std::vector<bool> long_from;  // separator test of each long line, in order
};

// The header block from the current position: the first line, then every
// line up to and including the first empty one. Fields after the first
// date and from fields are not classified any further.
header_scan scan_header(source_file* file, std::vector<std::string>* keep,
                        separator_fields* fields = nullptr) {
  header_scan scan;
  line_facts facts;
  if (!read_line_facts(file, facts, keep, fields)) {
    return scan;
  }
  scan.lines = 1;
  if (facts.long_line) {
    scan.long_from.push_back(facts.is_from);
  }
  scan.indicators.first_colon = facts.colon;
  if (facts.colon > 4) {
    scan.indicators.kinds_seen = facts.kind;
  }
  while (read_line_facts(file, facts, keep, fields)) {
    do_events();
    if (!keep_running) {
      scan.aborted = true;
      return scan;
    }
    ++scan.lines;
    if (facts.long_line) {
      scan.long_from.push_back(facts.is_from);
    }
    if (scan.indicators.kinds_seen != 3 && facts.colon > 4) {
      scan.indicators.kinds_seen |= facts.kind;
      continue;
    }
    if (facts.empty) {
      break;
    }
  }
  return scan;
}

}  // namespace

std::vector<std::string> read_header(source_file* file,
                                     header_indicators& indicators,
                                     bool* aborted) {
  std::vector<std::string> lines;
  header_scan scan = scan_header(file, &lines);
  indicators = scan.indicators;
  if (aborted) {
    *aborted = scan.aborted;
  }
  if (scan.aborted) {
    indicators = header_indicators{};
    lines.clear();
  }
  return lines;
}

bool looks_like_message(const header_indicators& indicators) {
  return indicators.first_colon > 1 && indicators.kinds_seen == 3;
}

// ---- Transfer ----

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

// The mboxrd quoting test: "From " after zero or more ">". Unlike the
// separator test it needs no line end, so that every line a reader of
// that form unquotes was quoted.
bool is_mboxrd_content(std::string_view content) {
  size_t i = content.find_first_not_of('>');
  return i != std::string_view::npos && content.substr(i, 5) == "From ";
}

// The same test over a line that arrives in pieces.
class mboxrd_scan {
 public:
  void feed(std::string_view piece) {
    for (char c : piece) {
      if (state_ != open) {
        return;
      }
      if (matched_ == 0 && c == '>') {
        continue;
      }
      if (c != "From "[matched_]) {
        state_ = done_false;
      } else if (++matched_ == 5) {
        state_ = done_true;
      }
    }
  }
  bool decided() const {
    return state_ != open;
  }
  bool finish(bool /*has_line_end*/) const {
    return state_ == done_true;
  }

 private:
  enum { open, done_true, done_false };
  int state_ = open;
  int matched_ = 0;
};

bool needs_line_end(const from_line_scan&) {
  return true;
}
bool needs_line_end(const mboxrd_scan&) {
  return false;
}

// A line test over a long line, decided by reading ahead from the current
// file position and going back: the separator test needs the line's end.
template <class line_scan>
bool long_line_test(source_file* file, std::string_view first_piece) {
  line_scan scan;
  scan.feed(first_piece);
  if (scan.decided() && (!scan.finish(true) || !needs_line_end(scan))) {
    return scan.finish(true);
  }
  std::FILE* stream = file->stream;
  long long resume = static_cast<long long>(file->buffer_offset) +
                     static_cast<long long>(file->end);
  static char ahead[64 * 1024];
  bool has_line_end = false;
  int64_t left = file->limit >= 0 ? file->limit - resume : INT64_MAX;
  while (left > 0) {
    do_events();
    if (stop_at_once) {
      break;  // the reader gives up at its next refill
    }
    size_t want = left < static_cast<int64_t>(sizeof ahead)
                      ? static_cast<size_t>(left)
                      : sizeof ahead;
    size_t got = std::fread(ahead, 1, want, stream);
    left -= static_cast<int64_t>(got);
    if (got == 0) {
      break;
    }
    const char* mark = find_line_end(ahead, ahead + got);
    size_t span = mark ? static_cast<size_t>(mark - ahead) : got;
    scan.feed(std::string_view(ahead, span));
    if (mark) {
      has_line_end = true;
      break;
    }
    if (scan.decided() && !needs_line_end(scan)) {
      break;
    }
  }
  std::clearerr(stream);
#if defined(_WIN32)
  _fseeki64(stream, resume, SEEK_SET);
#else
  fseeko(stream, static_cast<off_t>(resume), SEEK_SET);
#endif
  return scan.finish(has_line_end);
}

bool long_line_is_from(source_file* file, std::string_view first_piece) {
  return long_line_test<from_line_scan>(file, first_piece);
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
                     ? long_line_test<mboxrd_scan>(file, piece.content)
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
  if (header.aborted || source->abandoned) {
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
  if (source->abandoned) {
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
