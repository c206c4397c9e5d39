// How the mbox files are written: line ends, the empty line between
// messages, the date of composed separator lines and the quoting of body
// lines. The defaults write the classic bytes: CR LF, no empty line, the
// fixed separator line, a blank in front of a quoted line.
#ifndef QUILLPACK_CONFIG_MBOX_FORMAT_H_
#define QUILLPACK_CONFIG_MBOX_FORMAT_H_

#include <string>
#include <utility>
#include <vector>

namespace qp {

enum line_end_style { LINE_ENDS_CRLF, LINE_ENDS_LF };
enum separator_date_style { SEPARATOR_FIXED, SEPARATOR_HEADER };
enum body_quoting { QUOTING_SPACE, QUOTING_MBOXRD };
enum message_order { ORDER_NAME, ORDER_DATE };
enum duplicate_rule { DUPLICATES_KEEP, DUPLICATES_SKIP };
enum marks_style { MARKS_KEEP, MARKS_NONE };

struct mbox_format {
  line_end_style line_ends = LINE_ENDS_CRLF;
  bool empty_line_between = false;
  separator_date_style separator_date = SEPARATOR_FIXED;
  body_quoting quoting = QUOTING_SPACE;
  // Not the bytes of a message but which messages go in, and in what order.
  message_order order = ORDER_NAME;
  duplicate_rule duplicates = DUPLICATES_KEEP;
  // The marks a mail store keeps for a message, written into its header.
  marks_style marks = MARKS_KEEP;
};

// The entries of the Mbox section, in file order. Returns the detail line
// of the first fault, or an empty string.
std::string apply_mbox_section(
    const std::vector<std::pair<std::string, std::string>>& entries,
    mbox_format& out);

}  // namespace qp

#endif  // QUILLPACK_CONFIG_MBOX_FORMAT_H_
