// The marks a mail store keeps beside a message (read, replied, flagged,
// ...), which a plain message file never has. The transfer writes them as
// the Status: and X-Status: lines that mbox readers take them from.
#ifndef QUILLPACK_PACK_MESSAGE_MARKS_H_
#define QUILLPACK_PACK_MESSAGE_MARKS_H_

namespace qp {

struct message_marks {
  bool known = false;  // the store keeps marks for this message
  bool read = false;
  bool is_new = false;  // not yet seen by any mail program (Maildir new/)
  bool answered = false;
  bool flagged = false;
  bool deleted = false;
  bool draft = false;
};

}  // namespace qp

#endif  // QUILLPACK_PACK_MESSAGE_MARKS_H_
