// The target mbox file: its checks, its opening, and the packing of a group
// of source files into it.
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
#include "pack/result.h"

namespace qp {

// The errors the run has counted so far.
int error_count();
void count_error();
// Body lines that the run wrote unchanged although they read as separator
// lines (unquoted messages, do-not-change regions).
int64_t unprotected_line_count();
// Both counts back to zero, as at the start of a job.
void reset_target_counts();

using names_routine = void (*)(const std::string& source,
                               const std::string& target);
using progress_routine = void (*)(double increment);
void set_names_callback(names_routine routine);
void set_progress_callback(progress_routine routine);

// The byte count that makes one percent of the whole job (0: all empty).
void set_progress_divisor(double one_percent);

struct open_target_result {
  locked_file* file = nullptr;  // null when code is set
  int64_t size = 0;
  int64_t code = 0;      // 0 or a pack result code
  int kind = KIND_NONE;  // the path's kind before it was opened
};

// The line ends an appended target that ends with tail needs before its
// first new message.
int line_ends_needed(std::string_view tail, bool empty_line, bool lf);

// 0 (acceptable), E_TARGET_FORMAT, E_READ or E_ABORTED.
int64_t check_target(const std::string& path);

// Creates or appends, with the line ends and tail the settings ask for;
// ends the run when the disk is full.
open_target_result open_target(const std::string& path, bool append,
                               const pack_settings& config);

// The files this run writes, known by identity, so that no name or link
// makes one of them a source: the targets that exist when the run begins,
// and each target as it is opened.
void forget_run_targets();
void note_run_target(const std::string& path);
bool is_run_target(const std::string& path);
// The files the collection may hold under more than one name (sorted):
// each is packed once, under the first; forget_run_targets keeps them.
void note_shared_sources(const std::vector<node_identity>& sorted);
// Whether any entry is a source to pack: not a file this run writes, nor
// one packed already under another name.
bool group_has_sources(const std::string& source_directory,
                       const source_files& files);

// Packs the files into the open target (of the kind open_target found)
// as the settings ask; the new size or a result code. Ends the run when
// the disk is full.
int64_t pack_group(const std::string& source_directory,
                   const source_files& files, const std::string& target_path,
                   locked_file* target, int64_t size, int target_kind,
                   const pack_settings& config);

}  // namespace qp

#endif  // QUILLPACK_PACK_TARGET_H_
