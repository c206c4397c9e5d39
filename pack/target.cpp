#include "pack/target.h"

#include <algorithm>
#include <bitset>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/paths.h"
#include "base/tree_walk.h"
#include "config/settings.h"
#include "pack/line_facts.h"
#include "pack/raw_file.h"
#include "pack/source_reader.h"
#include "pack/transfer.h"
#include "window/events.h"

namespace qp {

namespace {

std::set<std::pair<uint64_t, uint64_t>> run_targets;
// The targets this run has opened: one that another group maps to (a name
// that differs only in letter case, a linked folder) is appended to.
std::set<std::pair<uint64_t, uint64_t>> written_targets;

// The identity tags of run_targets: most sources are ruled out by them.
std::bitset<256> run_target_tags;

void add_run_target(const file_identity& id) {
  run_targets.emplace(id.volume, id.index);
  run_target_tags.set(identity_tag(id.volume, id.index));
}

// The sources that more than one name reaches, sorted, and which of them
// were taken already.
std::vector<node_identity> shared_sources;
std::vector<bool> shared_taken;
// The files of several hard links that the walk did not know as such (on
// Windows it does not open each file to ask), found so at their open and
// packed once: their identities.
std::set<std::pair<uint64_t, uint64_t>> linked_taken;

bool is_shared_source(const file_identity& found) {
  const node_identity id{found.volume, found.index};
  return std::binary_search(shared_sources.begin(), shared_sources.end(), id);
}

// The slot of the source among the shared ones, or -1.
long shared_slot(const std::string& path) {
  file_identity found;
  if (shared_sources.empty() || !path_identity(path, found)) {
    return -1;
  }
  const node_identity id{found.volume, found.index};
  const auto at =
      std::lower_bound(shared_sources.begin(), shared_sources.end(), id);
  if (at == shared_sources.end() || !(*at == id)) {
    return -1;
  }
  return static_cast<long>(at - shared_sources.begin());
}

// Whether the source is a file another name of it brought already; when
// take is set, it counts as brought from now on.
bool taken_before(const std::string& path, bool take) {
  const long slot = shared_slot(path);
  if (slot < 0) {
    return false;
  }
  const bool taken = shared_taken[static_cast<size_t>(slot)];
  if (take) {
    shared_taken[static_cast<size_t>(slot)] = true;
  }
  return taken;
}

bool written_before(const std::string& path) {
  file_identity id;
  return !written_targets.empty() && path_identity(path, id) &&
         written_targets.count({id.volume, id.index}) != 0;
}

// The drive of a target as the disk-full message names it: on Windows its
// first two characters ("C:"), on POSIX the target's directory.
// A network path's drive is its share, \\server\share\; empty when the
// path is none.
std::string share_root(const std::string& path) {
  const char sep = native_style.separator;
  if (path.size() < 2 || path[0] != sep || path[1] != sep) {
    return std::string();
  }
  size_t server_end = path.find(sep, 2);
  if (server_end == std::string::npos) {
    return std::string();
  }
  size_t share_end = path.find(sep, server_end + 1);
  return share_end == std::string::npos ? path + sep
                                        : path.substr(0, share_end + 1);
}

std::string space_root(const std::string& target_path) {
  if (!native_style.drive_colon) {
    return file_directory(target_path);
  }
  std::string share = share_root(target_path);
  return share.empty() ? target_path.substr(0, 3) : share;
}

}  // namespace

std::string drive_name(const std::string& target_path) {
  if (!native_style.drive_colon) {
    return file_directory(target_path);
  }
  std::string share = share_root(target_path);
  return share.empty() ? to_upper(target_path.substr(0, 2)) : share;
}

transfer_options transfer_options_from(const pack_settings& config) {
  transfer_options options;
  options.mode = config.from_mode;
  options.donotchange_begin = config.donotchange_begin;
  options.donotchange_end = config.donotchange_end;
  options.mboxrd = config.mbox.quoting == QUOTING_MBOXRD;
  options.header_separator = config.mbox.separator_date == SEPARATOR_HEADER;
  options.empty_line_between = config.mbox.empty_line_between;
  options.write_marks = config.mbox.marks == MARKS_KEEP;
  return options;
}

namespace {

// Whether bytes end in an empty line as mbox readers see it: a line feed
// right after another, or after a CR that follows one. A lone CR ends no
// line for them.
bool ends_with_empty_line(std::string_view bytes) {
  size_t size = bytes.size();
  if (size < 2 || bytes[size - 1] != '\n') {
    return false;
  }
  return bytes[size - 2] == '\n' ||
         (size >= 3 && bytes[size - 2] == '\r' && bytes[size - 3] == '\n');
}

}  // namespace

// The line ends to write before the first new message of a target that
// ends with tail: one when its last byte is no line feed (a lone CR too,
// which readers that split at line feeds would glue to the separator
// line); with an empty line between messages, as many more as make its
// last line an empty one. An empty target gets none.
int line_ends_needed(std::string_view tail, bool empty_line, bool lf) {
  if (tail.empty()) {
    return 0;
  }
  std::string bytes(tail);
  int needed = 0;
  if (bytes.back() != '\n') {
    bytes += lf ? "\n" : "\r\n";
    ++needed;
  }
  while (empty_line && !ends_with_empty_line(bytes) && needed < 3) {
    bytes += lf ? "\n" : "\r\n";
    ++needed;
  }
  return needed;
}

namespace {

// Brings an appended target's end to where the next message may follow;
// false when the line ends could not be written (the target is then cut
// back to size).
bool fix_up_tail(locked_file* file, int64_t& size, const mbox_format& mbox) {
  char tail[4];
  int got = read_tail(file, tail, static_cast<int>(sizeof tail));
  if (got <= 0) {
    return true;  // an empty target, or one whose tail cannot be read
  }
  int needed =
      line_ends_needed(std::string_view(tail, static_cast<size_t>(got)),
                       mbox.empty_line_between, mbox.line_ends == LINE_ENDS_LF);
  for (int i = 0; i < needed; ++i) {
    write_line_end(file);
  }
  int64_t position = file_position(file);
  if (position != size + needed * line_end_size(file)) {
    truncate_locked(file, size);
    return false;
  }
  size = position;
  return true;
}

}  // namespace

void forget_run_targets() {
  run_targets.clear();
  run_target_tags.reset();
  written_targets.clear();
  linked_taken.clear();
}

void note_shared_sources(const std::vector<node_identity>& sorted) {
  shared_sources = sorted;
  shared_taken.assign(sorted.size(), false);
}

void note_run_target(const std::string& path) {
  file_identity id;
  if (path_identity(path, id)) {
    add_run_target(id);
  }
}

bool is_run_target_identity(const file_identity& id) {
  return (id.volume != 0 || id.index != 0) &&
         run_targets.count({id.volume, id.index}) != 0;
}

bool is_run_target(const std::string& path, uint8_t tag) {
  // The walk's identity stands for the file: a target made since is no
  // file of the walk, and one that existed had its identity noted before
  // any source was opened. So no source that may be a target is opened
  // (whose close would drop the target's lock) to find out.
  if (tag != 0 && !run_target_tags.test(tag)) {
    return false;
  }
  file_identity id;
  return !run_targets.empty() && path_identity(path, id) &&
         run_targets.count({id.volume, id.index}) != 0;
}

bool is_new_source(const std::string& path) {
  return !is_run_target(path) && !taken_before(path, false);
}

bool taken_already(const std::string& path) {
  return taken_before(path, true);
}

namespace {

// The verdict on an open target's first message: 0, E_TARGET_FORMAT or
// E_ABORTED. The separator line must have its line end.
int64_t check_first_message(source_file* source) {
  line_facts first;
  if (!read_line_facts(source, first)) {
    // An empty file takes any message; a stop while reading is no verdict.
    return keep_running ? int64_t{0} : int64_t{E_ABORTED};
  }
  if (!first.is_from) {
    return E_TARGET_FORMAT;
  }
  header_scan header = scan_header(source);
  // A Cancel while reading is no verdict on the file.
  if (header.aborted || !keep_running) {
    return E_ABORTED;
  }
  return looks_like_message(header.indicators) ? int64_t{0}
                                               : int64_t{E_TARGET_FORMAT};
}

}  // namespace

int64_t check_target(const std::string& path, const old_content& old) {
  locked_file* file = open_locked(path, LOCKED_READ);
  if (!file) {
    return E_READ;
  }
  source_file* source = open_source_stream(locked_stream(file), false);
  int64_t verdict = check_first_message(source);
  if (verdict == 0 && old.digests) {
    rewind_source(source);
    int64_t read = digest_mbox(source, *old.digests, old.told);
    verdict = read == E_READ ? int64_t{E_APPEND} : read;
  }
  close_source(source);
  close_locked(file);
  return verdict;
}

open_target_result open_target(const std::string& path, bool append,
                               const pack_settings& config,
                               const old_content& old) {
  open_target_result result;
  target_in_hand& target = result.target;
  target.path = path;
  target.options = transfer_options_from(config);
  target.kind = path_kind(path);
  if (target.kind == KIND_NONE) {
    append = false;
  } else if (written_before(path)) {
    append = true;  // never empty what this run has written
  }
  locked_file* file = nullptr;
  if (append) {
    int64_t size = file_size(path);
    if (size > target_limit) {
      result.code = E_TOO_BIG;
      return result;
    }
    int64_t check = check_target(path, old);
    if (check == E_TARGET_FORMAT || check == E_ABORTED || check == E_APPEND) {
      result.code = check;
      return result;
    }
    file = open_locked(path, LOCKED_APPEND);
  } else {
    file = open_locked(path, LOCKED_CREATE);
  }
  if (!file) {
    bool full = free_space(space_root(path)).available == 0;
    result.code = full ? E_DISK_FULL : append ? E_APPEND : E_CREATE;
    return result;
  }
  set_lf_line_ends(file, config.mbox.line_ends == LINE_ENDS_LF);
  file_identity id;
  if (locked_identity(file, id)) {
    add_run_target(id);
    written_targets.emplace(id.volume, id.index);
  }
  int64_t size = file_position(file);
  target.start_size = size;
  if (append && !fix_up_tail(file, size, config.mbox)) {
    // Not even the line ends went in: the target is as it was.
    bool full = free_space(space_root(path)).available == 0;
    close_locked(file);
    result.code = full ? E_DISK_FULL : E_APPEND;
    return result;
  }
  note_whole_messages(file, size);
  target.file = file;
  target.size = size;
  return result;
}

namespace {

// Removes what a failed message left, so the target stays readable.
void cut_back(target_in_hand& target) {
  if (file_position(target.file) != target.size) {
    truncate_locked(target.file, target.size);
  }
}

// The target itself among the sources, by name: a target that existed
// before the run and lies in the folder being packed.
bool names_the_target(const target_in_hand& target,
                      const std::string& source_directory,
                      std::string_view name) {
  if (target.kind == KIND_NONE) {
    return false;
  }
  std::string target_lower = path_lower(target.path);
  return source_directory == file_directory(target_lower) &&
         path_lower(std::string(name)) == file_name(target_lower);
}

}  // namespace

// The target itself, under its name or any other (a hard link, a symbolic
// link, a linked directory), or a target of another group: reading one
// would drop the target's lock or pack the run's own output, and a target
// read while it grows never ends.
source_verdict judge_source(const target_in_hand& target,
                            const std::string& source_directory,
                            std::string_view name, uint64_t size, uint8_t tag) {
  if (size == 0) {
    return SOURCE_EMPTY;
  }
  std::string path = source_directory;
  path.append(name);
  // Where opening a source spares the target's lock, a source the walk
  // knows no identity of is checked once open (pack_message), not by a
  // second open here.
  bool check_when_open = tag == 0 && source_open_spares_lock;
  if (names_the_target(target, source_directory, name) ||
      (!check_when_open && is_run_target(path, tag))) {
    return SOURCE_RUN_TARGET;
  }
  return taken_before(path, true) ? SOURCE_TAKEN : SOURCE_TRY;
}

int64_t pack_message(target_in_hand& target, const std::string& source_path,
                     transfer_notes& notes) {
  message_source source = open_message_source(source_path);
  if (source.reader && source_open_spares_lock) {
    // Where the open spares the lock, what the walk did not ask the file
    // is found from the open: whether it is a target of the run, and
    // whether another of its hard links was packed (the walk's shared
    // sources are judged by name before, see taken_before).
    const file_identity id = source_identity(source.reader);
    int64_t passed = 0;
    if (is_run_target_identity(id)) {
      passed = E_RUN_TARGET;
    } else if (source_has_several_links(source.reader) &&
               !is_shared_source(id) &&
               !linked_taken.emplace(id.volume, id.index).second) {
      passed = E_TAKEN;
    }
    if (passed != 0) {
      close_message_source(source);
      return passed;
    }
  }
  int64_t result = transfer_source(source, target.file, target.options, &notes);
  close_message_source(source);
  if (result == E_READ || result == E_ABORTED) {
    // A stop at once gives up the message in hand; whole ones stay.
    cut_back(target);
    return result;
  }
  if (result < 0) {
    return result;  // E_SOURCE_FORMAT: the transfer took its header back
  }
  // A message that did not go in whole is cut back before anything else,
  // also one that would have crossed the limit.
  int64_t position = file_position(target.file);
  int64_t shortfall = result - (position - target.size);
  if (shortfall != 0) {
    // Asked before the cut, which gives back the space the partial message
    // took.
    int64_t available = free_space(space_root(target.path)).available;
    cut_back(target);
    return shortfall > available ? E_DISK_FULL : E_WRITE;
  }
  note_whole_messages(target.file, position);
  bool too_big = target.size + result > target_limit;
  target.size = position;
  return too_big ? int64_t{E_TOO_BIG} : int64_t{0};
}

}  // namespace qp
