// The line tests on which packing rests: the separator line, the header
// field and its kind. A line is a byte string whose line end, if it has
// one, is a single line feed.
#ifndef QUILLPACK_PACK_SEPARATOR_H_
#define QUILLPACK_PACK_SEPARATOR_H_

#include <cstdint>
#include <string_view>

namespace qp {

// The separator written before a message that brings none of its own.
inline constexpr std::string_view fallback_from_line =
    "From quillpack@localhost Sat Jan 01 12:00:00 2000\n";

// The kinds of header field a message needs, as bits: a header block
// has seen both once kinds_seen == DATE_AND_FROM_FIELDS.
enum field_kind : int {
  OTHER_FIELD = 0,
  DATE_FIELD = 1,
  FROM_FIELD = 2,
  DATE_AND_FROM_FIELDS = DATE_FIELD | FROM_FIELD,
};

// "Date:" and "From:" have their colon at position 5: a field whose colon
// comes earlier is of no kind.
inline constexpr int64_t kind_colon = 5;

// The separator rule: "From " at the start, a line end, and the first byte
// after the blanks and tabs behind "From " is no colon. content is the line
// without its line end; from_line_scan holds the rule itself.
bool is_from_content(std::string_view content, bool has_line_end);
// The same over a line whose line end, if any, is its final line feed.
bool is_from_line(std::string_view line);
// Position (1-based) of the colon of a header field, 0 for any other line.
int header_colon(std::string_view line);
field_kind header_kind(std::string_view line);

// The same tests over a line that arrives in pieces (a line longer than the
// reader's buffer). Feed every piece in order, then finish.
class from_line_scan {
 public:
  void feed(std::string_view piece);
  bool decided() const {
    return state_ >= done_true;
  }
  bool finish(bool ends_with_line_feed) const;

 private:
  enum { prefix, blanks, done_true, done_false };
  int state_ = prefix;
  uint64_t length_ = 0;
};

class header_colon_scan {
 public:
  void feed(std::string_view piece);
  bool decided() const {
    return state_ == done;
  }
  int64_t result() const {
    return result_;
  }  // valid once fed to the end
  // The first four bytes, for header_kind.
  std::string_view head() const {
    return {head_, head_length_};
  }

 private:
  enum { name, gap, done };
  int state_ = name;
  int64_t position_ = 0;
  int64_t name_length_ = 0;
  int64_t result_ = 0;
  char head_[4] = {0, 0, 0, 0};
  size_t head_length_ = 0;
};

field_kind header_kind_of(int64_t colon, std::string_view head);

}  // namespace qp

#endif  // QUILLPACK_PACK_SEPARATOR_H_
