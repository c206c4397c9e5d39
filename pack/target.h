// The target mbox file: its checks, its opening, and the packing of one
// message into it.
#ifndef QUILLPACK_PACK_TARGET_H_
#define QUILLPACK_PACK_TARGET_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/paths.h"
#include "base/tree_walk.h"
#include "collect/collection.h"
#include "config/settings.h"
#include "pack/locked_file.h"
#include "pack/message_digest.h"
#include "pack/result.h"
#include "pack/transfer.h"

namespace qp {

// A target open for messages: where its whole messages end and how each
// message is written.
struct target_in_hand {
  locked_file* file = nullptr;  // null when it could not be opened
  std::string path;
  int kind = KIND_NONE;    // the path's kind before it was opened
  int64_t size = 0;        // whole messages end here
  int64_t start_size = 0;  // its size when this run opened it
  transfer_options options;
};

struct open_target_result {
  target_in_hand target;
  int64_t code = 0;  // 0 or a pack result code
};

transfer_options transfer_options_from(const pack_settings& config);

// The line ends an appended target that ends with tail needs before its
// first new message.
int line_ends_needed(std::string_view tail, bool empty_line, bool lf);

// What an appended target's old content is read for: the digests of its
// messages, in the same locked read as its check. Not read when null.
struct old_content {
  std::vector<message_digest>* digests = nullptr;
  bytes_read_routine told = nullptr;  // hears of the bytes read
};

// 0 (acceptable), E_TARGET_FORMAT, E_READ or E_ABORTED; with old.digests,
// E_APPEND when the old content could not be read to its end.
int64_t check_target(const std::string& path, const old_content& old = {});

// Creates or appends, with the line ends and tail the settings ask for.
// A failure is a code, E_DISK_FULL when the disk is full; E_ABORTED when a
// stop came during the check of an appended target (or the reading of its
// old content).
open_target_result open_target(const std::string& path, bool append,
                               const pack_settings& config,
                               const old_content& old = {});

// The drive a target's disk-full message names: on Windows the drive
// ("C:") or the share, on POSIX the target's directory.
std::string drive_name(const std::string& target_path);

// The files this run writes, known by identity, so that no name or link
// makes one of them a source: the targets that exist when the run begins,
// and each target as it is opened.
void forget_run_targets();
void note_run_target(const std::string& path);
// tag, when not 0, is the identity_tag the walk found for path: a tag that
// no target of the run has rules it out without a look at the file.
bool is_run_target(const std::string& path, uint8_t tag = 0);
bool is_run_target_identity(const file_identity& id);
// The files the collection may hold under more than one name (sorted):
// each is packed once, under the first; forget_run_targets keeps them.
void note_shared_sources(const std::vector<node_identity>& sorted);
// Whether the file is a source to pack: not a file this run writes, nor
// one packed already under another name.
bool is_new_source(const std::string& path);
// Whether a source passed over unread (the run stopped before it) was
// taken already under another name; it counts as taken from now on.
bool taken_already(const std::string& path);

// Why a source is passed over unread, or SOURCE_TRY.
enum source_verdict {
  SOURCE_TRY,
  SOURCE_EMPTY,       // 0 bytes
  SOURCE_RUN_TARGET,  // a file this run writes, under any name
  SOURCE_TAKEN,       // packed already under another name
};
// A source found as name in source_directory, of size bytes; a source
// that is tried counts as taken from now on.
source_verdict judge_source(const target_in_hand& target,
                            const std::string& source_directory,
                            std::string_view name, uint64_t size,
                            uint8_t identity_tag = 0);

// Packs the source's message into the target. 0: it is in, and the
// target's size is at its end. Otherwise nothing of it stays:
// E_READ, E_SOURCE_FORMAT, E_ABORTED (a stop at once), E_WRITE (it did not
// go in whole), E_DISK_FULL (the same, for want of space); except
// E_TOO_BIG, when it is in and the target has passed its limit; or
// E_RUN_TARGET, when the source proved to be a target of this run once
// open (where that open spares the lock, see raw_file.h); or E_TAKEN, when
// it proved to be packed already under another of its hard links.
int64_t pack_message(target_in_hand& target, const std::string& source_path,
                     transfer_notes& notes);

}  // namespace qp

#endif  // QUILLPACK_PACK_TARGET_H_
