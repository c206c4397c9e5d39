#include "pack/line_facts.h"

#include <string>
#include <vector>

#include "window/events.h"

namespace qp {

// ---- One line ----

bool read_line_facts(source_file* file, line_facts& facts,
                     std::vector<std::string>* keep, separator_fields* fields) {
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
  facts.is_written_from = from.finish(true);
  if (keep) {
    if (piece.has_line_end) {
      whole.push_back('\n');
    }
    keep->push_back(std::move(whole));
  }
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

header_scan scan_header(source_file* file, std::vector<std::string>* keep,
                        separator_fields* fields) {
  header_scan scan;
  line_facts facts;
  if (!read_line_facts(file, facts, keep, fields)) {
    return scan;
  }
  scan.lines = 1;
  if (facts.long_line) {
    scan.long_from.push_back(facts.is_written_from);
  }
  scan.indicators.first_colon = facts.colon;
  if (facts.colon >= kind_colon) {
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
      scan.long_from.push_back(facts.is_written_from);
    }
    if (scan.indicators.kinds_seen != DATE_AND_FROM_FIELDS &&
        facts.colon >= kind_colon) {
      scan.indicators.kinds_seen |= facts.kind;
      continue;
    }
    if (facts.empty) {
      scan.ended = true;
      break;
    }
  }
  return scan;
}

void read_header(source_file* file, header_indicators& indicators,
                 bool* aborted) {
  header_scan scan = scan_header(file, nullptr);
  indicators = scan.aborted ? header_indicators{} : scan.indicators;
  if (aborted) {
    *aborted = scan.aborted;
  }
}

bool looks_like_message(const header_indicators& indicators) {
  return indicators.first_colon > 1 &&
         indicators.kinds_seen == DATE_AND_FROM_FIELDS;
}

}  // namespace qp
