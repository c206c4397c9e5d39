// The digest of a message as an mbox file holds it, so that a message
// packed once is known again: from its source before it is packed, and
// from the old content of an mbox file appended to.
//
// The digest (128 bits) covers the normal forms of header and body. The
// header's: its lines without line ends and without separator lines,
// leaving out the fields mail programs change to record a mailbox's state.
// The body's: its lines without line ends, trailing empty lines dropped,
// and a line that reads "From " after a run of ">" or one blank counted
// without them. So the same message gives the same digest whatever its
// line ends and whichever Mbox settings wrote it.
#ifndef QUILLPACK_PACK_MESSAGE_DIGEST_H_
#define QUILLPACK_PACK_MESSAGE_DIGEST_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "pack/source_reader.h"

namespace qp {

struct message_digest {
  uint64_t high = 0;
  uint64_t low = 0;
};

inline bool operator==(const message_digest& a, const message_digest& b) {
  return a.high == b.high && a.low == b.low;
}
inline bool operator<(const message_digest& a, const message_digest& b) {
  return a.high != b.high ? a.high < b.high : a.low < b.low;
}

// Header fields that record a mailbox's state, not the message.
bool is_state_field(std::string_view line);

// The digest of the message a source packs: 0, or E_READ or E_ABORTED.
int64_t digest_message(const message_source& source, message_digest& out);

// Told the bytes read since it was last told.
using bytes_read_routine = void (*)(uint64_t bytes);

// The digests of every message of an mbox file read from its start, its
// messages parted at the lines that pass the separator rule of the format
// check: 0, or E_READ or E_ABORTED. told, when given, hears of the bytes
// read (line ends counted as one byte).
int64_t digest_mbox(source_file* mbox, std::vector<message_digest>& out,
                    bytes_read_routine told = nullptr);

// The digests of the messages an mbox file holds: a sorted flat array (16
// bytes a message) and a small sorted one of the latest, merged into it
// when full, so that neither lookups nor inserts grow with node overhead.
class digest_set {
 public:
  void reserve(size_t count);
  void clear();
  bool contains(const message_digest& digest) const;
  // Adds a digest (a second copy of one is harmless).
  void insert(const message_digest& digest);
  // Adds many at once: the old content of an mbox file.
  void insert_all(std::vector<message_digest>& digests);
  size_t size() const {
    return sorted_.size() + recent_.size();
  }

 private:
  void merge_recent();
  std::vector<message_digest> sorted_;
  std::vector<message_digest> recent_;
};

}  // namespace qp

#endif  // QUILLPACK_PACK_MESSAGE_DIGEST_H_
