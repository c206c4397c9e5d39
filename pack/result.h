// Pack result codes. Every code is negative, so that a byte count or a size
// (zero or positive) and a code travel in one 64-bit integer.
#ifndef QUILLPACK_PACK_RESULT_H_
#define QUILLPACK_PACK_RESULT_H_

#include <cstdint>

namespace qp {

enum pack_result : int64_t {
  E_TARGET_FORMAT = -5,
  E_SOURCE_FORMAT = -6,
  E_CREATE_DIR = -7,
  E_READ = -8,
  E_APPEND = -9,
  E_CREATE = -10,
  E_WRITE = -11,
  E_TOO_BIG = -12,
  E_ABORTED = -13,
  // A write failed for want of space: the run cannot go on.
  E_DISK_FULL = -14,
  // The source, once open, proved to be a target of this run: not packed.
  E_RUN_TARGET = -15,
  // The source, once open, proved to be packed already under another of its
  // hard links: not packed again.
  E_TAKEN = -16,
};

// A target may hold exactly this many bytes; one more is too big.
inline constexpr int64_t target_limit = 2147483648LL;

}  // namespace qp

#endif  // QUILLPACK_PACK_RESULT_H_
