#include "pack/line_facts.h"

#include <string>
#include <vector>

#include "pack/result.h"
#include "window/events.h"

namespace qp {

// ---- One line ----

bool read_line_facts(source_file* file, line_facts& facts) {
  line_piece piece;
  if (!read_piece(file, piece)) {
    return false;
  }
  facts = line_facts{};
  if (piece.complete) {
    facts.colon = header_colon(piece.content);
    facts.kind = header_kind_of(facts.colon, piece.content);
    facts.is_from = is_from_content(piece.content, piece.has_line_end);
    facts.is_written_from = is_from_content(piece.content, true);
    facts.empty = piece.content.empty() && piece.has_line_end;
    return true;
  }
  facts.long_line = true;
  header_colon_scan colon;
  from_line_scan from;
  while (true) {
    colon.feed(piece.content);
    from.feed(piece.content);
    if (piece.complete || !read_piece(file, piece)) {
      break;
    }
  }
  facts.colon = colon.result();
  facts.kind = header_kind_of(facts.colon, colon.head());
  facts.is_from = from.finish(piece.has_line_end);
  facts.is_written_from = from.finish(true);
  return true;
}

bool is_mboxrd_content(std::string_view content) {
  size_t i = content.find_first_not_of('>');
  return i != std::string_view::npos && content.substr(i, 5) == "From ";
}

namespace {

// The mboxrd test over a line that arrives in pieces.
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

// A line test over a long line, decided by reading ahead: the separator
// test needs the line's end, unless the end of input counts as one.
template <class line_scan>
bool long_line_test(source_file* file, std::string_view first_piece,
                    bool end_is_line_end = false) {
  line_scan scan;
  scan.feed(first_piece);
  bool needs_end = needs_line_end(scan) && !end_is_line_end;
  if (scan.decided() && (!scan.finish(true) || !needs_end)) {
    return scan.finish(true);
  }
  bool has_line_end = read_line_ahead(file, [&](std::string_view span) {
    scan.feed(span);
    return !(scan.decided() && !needs_end);
  });
  return scan.finish(has_line_end || end_is_line_end);
}

}  // namespace

bool long_line_is_from(source_file* file, std::string_view first_piece) {
  return long_line_test<from_line_scan>(file, first_piece);
}

bool long_line_is_written_from(source_file* file,
                               std::string_view first_piece) {
  return long_line_test<from_line_scan>(file, first_piece, true);
}

bool long_line_is_mboxrd(source_file* file, std::string_view first_piece) {
  return long_line_test<mboxrd_scan>(file, first_piece);
}

// ---- Header block ----

namespace {

// One header line whose first piece is in hand, read to its end: its
// facts found, each piece shown to the observer and, unless the line is a
// separator line (tested as written), to the sink. A scan that writes
// tests a long line ahead, before its first piece goes out. used counts
// the bytes read; a long line stops at the byte limit. An empty line ends
// the block, except as its first line.
void scan_line(source_file* file, line_piece& piece,
               const header_scan_options& options, bool first,
               line_facts& facts, int64_t& used) {
  facts = line_facts{};
  header_sink* sink = options.sink;
  header_observer* observer = options.observer;
  if (piece.complete) {
    std::string_view content = piece.content;
    facts.colon = header_colon(content);
    facts.kind = header_kind_of(facts.colon, content);
    facts.is_written_from = is_from_content(content, true);
    facts.is_from = facts.is_written_from && piece.has_line_end;
    facts.empty = content.empty() && piece.has_line_end;
    used += static_cast<int64_t>(content.size()) + 1;
    if (observer) {
      observer->feed(content);
      observer->end_line(facts);
    }
    if (sink && !facts.is_written_from) {
      if (facts.empty && !first) {
        sink->header_end();
      }
      sink->line(content, piece.has_line_end);
    }
    return;
  }
  facts.long_line = true;
  bool write = sink && !long_line_is_written_from(file, piece.content);
  header_colon_scan colon;
  from_line_scan from;
  while (true) {
    colon.feed(piece.content);
    from.feed(piece.content);
    used += static_cast<int64_t>(piece.content.size());
    if (observer) {
      observer->feed(piece.content);
    }
    if (write) {
      sink->piece(piece.content);
    }
    if (piece.complete ||
        (!sink && options.byte_limit >= 0 && used >= options.byte_limit) ||
        !read_piece(file, piece)) {
      break;
    }
  }
  facts.colon = colon.result();
  facts.kind = header_kind_of(facts.colon, colon.head());
  facts.is_from = from.finish(piece.has_line_end);
  facts.is_written_from = from.finish(true);
  if (observer) {
    observer->end_line(facts);
  }
  if (write) {
    sink->end_of_line(piece.has_line_end);
  }
}

}  // namespace

header_scan scan_header(source_file* file, const header_scan_options& options) {
  header_scan scan;
  header_sink* sink = options.sink;
  int64_t used = 0;
  bool limited = !sink && options.byte_limit >= 0;
  line_piece piece;
  line_facts facts;
  if (!read_piece(file, piece)) {
    return scan;
  }
  scan_line(file, piece, options, true, facts, used);
  scan.indicators.first_colon = facts.colon;
  if (facts.colon >= kind_colon) {
    scan.indicators.kinds_seen = facts.kind;
  }
  // Lines go out as runs only where no observer needs to see them.
  bool runs = sink && !options.observer;
  while (true) {
    if (limited && used >= options.byte_limit) {
      scan.cut_short = true;
      return scan;
    }
    // Only a line that may be a date or from field (which begins with a D
    // or an F, in either case), a separator line (which the header loses)
    // or the empty line that ends the block matters; once both fields are
    // seen, only the last two. The other lines may go out as they stand.
    std::string_view special =
        scan.indicators.kinds_seen == DATE_AND_FROM_FIELDS ? "F\r\n"
                                                           : "DdFf\r\n";
    if (runs && sink->plain_run(file, special)) {
      if (!keep_running) {
        scan.aborted = true;
        return scan;
      }
      continue;
    }
    if (!read_piece(file, piece)) {
      break;
    }
    scan_line(file, piece, options, false, facts, used);
    do_events();
    if (!keep_running) {
      scan.aborted = true;
      return scan;
    }
    if (scan.indicators.kinds_seen != DATE_AND_FROM_FIELDS &&
        facts.colon >= kind_colon) {
      scan.indicators.kinds_seen |= facts.kind;
      continue;
    }
    if (facts.empty) {
      scan.ended = true;
      return scan;
    }
  }
  if (sink) {
    sink->header_end();
  }
  return scan;
}

int64_t header_fault(const header_scan& scan, const source_file* file) {
  if (scan.aborted || source_abandoned(file)) {
    return E_ABORTED;
  }
  if (!looks_like_message(scan.indicators)) {
    return source_failed(file) ? E_READ : E_SOURCE_FORMAT;
  }
  return keep_running ? int64_t{0} : int64_t{E_ABORTED};
}

bool looks_like_message(const header_indicators& indicators) {
  return indicators.first_colon > 1 &&
         indicators.kinds_seen == DATE_AND_FROM_FIELDS;
}

}  // namespace qp
