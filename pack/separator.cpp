#include "pack/separator.h"

#include <cstring>

#include "base/paths.h"

namespace qp {
namespace {

bool is_blank(unsigned char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

bool is_from_content(std::string_view content, bool has_line_end) {
  if (!has_line_end) {
    return false;
  }
  from_line_scan scan;
  scan.feed(content);
  return scan.finish(true);
}

bool is_from_line(std::string_view line) {
  if (line.empty() || line.back() != '\n') {
    return false;
  }
  return is_from_content(line.substr(0, line.size() - 1), true);
}

int header_colon(std::string_view line) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) {
    return 0;
  }
  size_t name_end = colon;
  for (size_t i = 0; i < colon; ++i) {
    unsigned char c = static_cast<unsigned char>(line[i]);
    if (c < 33) {
      name_end = i;
      break;
    }
    if (c > 126) {
      return 0;
    }
  }
  if (name_end == 0) {
    return 0;
  }
  for (size_t i = name_end; i < colon; ++i) {
    if (!is_blank(static_cast<unsigned char>(line[i]))) {
      return 0;
    }
  }
  return static_cast<int>(colon + 1);
}

field_kind header_kind_of(int64_t colon, std::string_view head) {
  if (colon < kind_colon || head.size() < 4) {
    return OTHER_FIELD;
  }
  char name[4];
  for (int i = 0; i < 4; ++i) {
    name[i] = ascii_lower(head[i]);
  }
  if (std::memcmp(name, "date", 4) == 0) {
    return DATE_FIELD;
  }
  if (std::memcmp(name, "from", 4) == 0) {
    return FROM_FIELD;
  }
  return OTHER_FIELD;
}

field_kind header_kind(std::string_view line) {
  return header_kind_of(header_colon(line), line);
}

// ---- The same tests over a line that arrives in pieces ----

void from_line_scan::feed(std::string_view piece) {
  static const char prefix_text[] = "From ";
  for (size_t i = 0; i < piece.size() && !decided(); ++i) {
    unsigned char c = static_cast<unsigned char>(piece[i]);
    if (state_ == prefix) {
      if (c != static_cast<unsigned char>(prefix_text[length_])) {
        state_ = done_false;
      } else if (length_ == 4) {
        state_ = blanks;
      }
    } else if (!is_blank(c)) {
      // The first byte after the blanks settles it, but a line without a
      // final line feed is never a separator: only the end can tell.
      state_ = c != ':' ? done_true : done_false;
    }
    ++length_;
  }
}

bool from_line_scan::finish(bool ends_with_line_feed) const {
  if (!ends_with_line_feed) {
    return false;
  }
  // The line feed itself ends the blanks when nothing else did.
  return state_ == done_true || state_ == blanks;
}

void header_colon_scan::feed(std::string_view piece) {
  for (size_t i = 0; i < piece.size() && state_ != done; ++i) {
    unsigned char c = static_cast<unsigned char>(piece[i]);
    ++position_;
    if (head_length_ < 4) {
      head_[head_length_++] = static_cast<char>(c);
    }
    if (c == ':') {
      result_ = state_ == name && name_length_ == 0 ? 0 : position_;
      state_ = done;
    } else if (state_ == name) {
      if (c < 33) {
        // The byte that ends the name must already be part of the gap.
        state_ = name_length_ > 0 && is_blank(c) ? gap : done;
      } else if (c > 126) {
        state_ = done;
      } else {
        ++name_length_;
      }
    } else if (!is_blank(c)) {
      state_ = done;
    }
  }
}

}  // namespace qp
