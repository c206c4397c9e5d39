// The marks of a message as the header lines mbox readers take them from:
// Status: (R read, O no longer new) and X-Status: (A answered, F flagged,
// D deleted, T draft), the letters in that order. And the names in which a
// Maildir keeps a message's marks.
#ifndef QUILLPACK_PACK_MARKS_HEADER_H_
#define QUILLPACK_PACK_MARKS_HEADER_H_

#include <string>
#include <string_view>
#include <vector>

#include "pack/line_facts.h"
#include "pack/message_marks.h"

namespace qp {

// The lines, without line ends; none for marks the store does not keep,
// and none that would be empty.
std::vector<std::string> marks_header_lines(const message_marks& marks);

// Watches a header for lines of its own that carry marks (Status:,
// X-Status:), passing every piece and line on to next.
class own_marks_watch final : public header_observer {
 public:
  explicit own_marks_watch(header_observer* next) : next_(next) {}
  void feed(std::string_view piece) override;
  void end_line(const line_facts& facts) override;
  bool seen() const {
    return seen_;
  }

 private:
  header_observer* next_;
  std::string start_;  // the first bytes of the line in hand
  bool seen_ = false;
};

// The marks in a Maildir file name: the letters after ":2," (or "!2,",
// ";2,", where a name cannot hold a colon), S seen, R replied, F flagged,
// T trashed, D draft; a message in new/ is new. Always known.
message_marks maildir_name_marks(std::string_view name, bool in_new);

// The marks of a message file at path: those of its name when it lies in
// the cur/ or new/ folder of a Maildir, else none.
message_marks marks_beside(const std::string& path);

}  // namespace qp

#endif  // QUILLPACK_PACK_MARKS_HEADER_H_
