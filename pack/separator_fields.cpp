#include "pack/separator_fields.h"

#include <string>
#include <string_view>

#include "base/paths.h"
#include "pack/mail_date.h"
#include "pack/separator.h"

namespace qp {
namespace {

// A value longer than this is not gathered: it is unreadable.
constexpr size_t value_limit = mail_date_limit;
// Room for a field name before its value.
constexpr size_t line_limit = value_limit + 80;

std::string_view trim_blanks(std::string_view text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) {
    return std::string_view();
  }
  size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

// The address inside <...>, or the trimmed value.
std::string_view address_part(std::string_view value) {
  size_t open = value.find('<');
  if (open != std::string_view::npos) {
    size_t close = value.find('>', open + 1);
    if (close != std::string_view::npos) {
      return trim_blanks(value.substr(open + 1, close - open - 1));
    }
  }
  return trim_blanks(value);
}

}  // namespace

std::string separator_address(std::string_view value) {
  std::string_view address = address_part(value);
  if (address.empty() || address[0] == ':') {
    return "-";
  }
  // Readers refuse a separator line whose address holds any of these, and
  // fold the message into the one before.
  for (char c : address) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7f ||
        std::string_view("\"\\:;<>").find(c) != std::string_view::npos) {
      return "-";
    }
  }
  return std::string(address);
}

void separator_fields::feed(std::string_view piece) {
  // Only the start of an overlong line is kept: enough for its name.
  size_t room = line_limit - line_.size();
  if (piece.size() > room) {
    line_overlong_ = true;
    piece = piece.substr(0, room);
  }
  line_.append(piece);
}

void separator_fields::take_value(field& target, std::string_view text) {
  if (target.overlong) {
    return;
  }
  if (line_overlong_ || target.value.size() + text.size() > value_limit) {
    target.overlong = true;
    target.value.clear();
    target.value.shrink_to_fit();
    return;
  }
  target.value.append(text);
}

void separator_fields::end_line() {
  bool continuation = !line_.empty() && (line_[0] == ' ' || line_[0] == '\t');
  if (continuation) {
    if (current_ >= 0) {
      take_value(fields_[current_], line_);
    }
  } else {
    current_ = -1;
    int colon = header_colon(line_);
    if (colon > 0) {
      size_t name_end = line_.find_first_of(" \t:");
      std::string name = ascii_lower(line_.substr(0, name_end));
      int which = name == "return-path" ? RETURN_PATH
                  : name == "from"      ? FROM
                  : name == "date"      ? DATE
                  : name == "received"  ? RECEIVED
                                        : -1;
      if (which >= 0 && !fields_[which].seen) {
        fields_[which].seen = true;
        current_ = which;
        take_value(fields_[which],
                   std::string_view(line_).substr(static_cast<size_t>(colon)));
      }
    }
  }
  line_.clear();
  line_overlong_ = false;
}

bool separator_fields::read_date(utc_time& time) const {
  bool dated =
      !fields_[DATE].overlong && read_mail_date(fields_[DATE].value, time);
  if (!dated && fields_[RECEIVED].seen && !fields_[RECEIVED].overlong) {
    const std::string& received = fields_[RECEIVED].value;
    size_t semicolon = received.rfind(';');
    dated =
        semicolon != std::string::npos &&
        read_mail_date(std::string_view(received).substr(semicolon + 1), time);
  }
  return dated;
}

std::string separator_fields::compose() const {
  utc_time time;
  bool dated = read_date(time);
  // Some readers take only the years 1970 to 2099 in a separator line.
  if (!dated || time.year > 2099) {
    return std::string(fallback_from_line);
  }
  const field& return_path = fields_[RETURN_PATH];
  bool use_return_path = return_path.seen && !return_path.overlong &&
                         !address_part(return_path.value).empty();
  const field& sender = use_return_path ? return_path : fields_[FROM];
  std::string address =
      sender.overlong ? std::string("-") : separator_address(sender.value);
  return "From " + address + " " + separator_date(time) + "\n";
}

}  // namespace qp
