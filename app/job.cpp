#include "app/job.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "base/paths.h"
#include "collect/collection.h"
#include "collect/folder_kind.h"
#include "collect/system_files.h"
#include "config/settings.h"
#include "pack/date_order.h"
#include "pack/message_digest.h"
#include "pack/raw_file.h"
#include "pack/target.h"
#include "report/report.h"
#include "ui/progress.h"
#include "window/events.h"

namespace qp {

namespace {

// The run's counts: the job alone raises them.
int errors_counted = 0;
int64_t unprotected_lines = 0;

// What became of every file found: each is in exactly one class. A file
// reached again under another name is not a second file and not counted.
struct file_tally {
  int64_t packed = 0;
  int64_t empty = 0;
  int64_t system = 0;
  int64_t own = 0;      // files this run writes
  int64_t failed = 0;   // tried, and its message is in no mbox file
  int64_t left = 0;     // not reached: the run stopped before it
  int64_t targets = 0;  // mbox files opened
  int64_t folders = 0;  // folders that could not be read
  // Files whose message the mbox file held already: a class of its own
  // only where duplicates are skipped.
  bool duplicates_skipped = false;
  int64_t duplicates = 0;
};
file_tally tally;

// The messages of the target in hand, with Duplicates=skip: its old
// content and what this run packed into it.
digest_set target_digests;
bool skip_duplicates = false;
bool order_by_date = false;
// Test builds set this to force a crash at the start of the job.
void (*job_start_hook)() = nullptr;

// How the packing ended: a stop, or a fault that ends the run at once
// with its message and exit code.
struct packing_end {
  bool stopped = false;
  std::string message;
  int code = exit_ok;
};

packing_end fatal_end(const std::string& message, int code) {
  packing_end end;
  end.message = message;
  end.code = code;
  return end;
}

std::string target_failure_message(int64_t code, const std::string& target) {
  switch (code) {
  case E_TOO_BIG:
    return format_message("The file '%s' is too big (> 2 GiB).", target);
  case E_TARGET_FORMAT:
    return format_message("Unknown format of target file '%s'.", target);
  case E_APPEND:
    return format_message("Error appending to file '%s'.", target);
  case E_CREATE:
    return format_message("Error creating file '%s'.", target);
  case E_WRITE:
    return format_message("Error writing to file '%s'.", target);
  default:
    return std::string();
  }
}

std::string disk_full_message(const std::string& target) {
  return format_message("Not enough space available on drive %s.",
                        drive_name(target)) +
         "\nProgram aborted.";
}

std::string source_failure_message(int64_t code, const std::string& source) {
  return format_message(code == E_READ ? "Error reading from file '%s'."
                                       : "Unknown format of source file '%s'.",
                        source);
}

// Parts of a partial message that were not found: the message is packed
// without them, an error all the same; true stops the run.
bool ask_about_missing_parts(const transfer_notes& notes,
                             const std::string& source) {
  ++errors_counted;
  // The sections are digits, dots and commas: no placeholder is needed.
  return ask_proceed("Attachments " + notes.missing_parts +
                     format_message(" of '%s' not found.", source));
}

// A folder the walk could not read, for a reason worth telling; true
// stops the run.
bool ask_about_unreadable_folder(const std::string& folder) {
  return ask_proceed(format_message("Error reading directory '%s'.", folder));
}

// Only the last component of the source argument can be a pattern: "*"
// and "?" in a directory's name are characters of that name.
std::string no_match_message(const std::string& source_spec) {
  bool wildcard = has_wildcard(file_name(source_spec));
  return format_message(
      wildcard ? "No matching file found '%s'." : "File '%s' not found.",
      source_spec);
}

// Body lines that many readers take for the start of a message: those of
// messages left unquoted and those of do-not-change regions alike.
std::string unprotected_note() {
  if (unprotected_lines <= 0) {
    return std::string();
  }
  char note[160];
  std::snprintf(note, sizeof note,
                "Note: %lld body line%s beginning with \"From \" left "
                "unchanged (see ChangeAllowed).\n",
                static_cast<long long>(unprotected_lines),
                unprotected_lines == 1 ? "" : "s");
  return note;
}

// "1 file", "0 files", "2 files": the noun is followed by rest either way.
std::string counted(int64_t number, const char* one, const char* many) {
  char text[128];
  std::snprintf(text, sizeof text, "%lld %s", static_cast<long long>(number),
                number == 1 ? one : many);
  return text;
}

std::string tally_line(const file_tally& counts) {
  const int64_t skipped =
      counts.empty + counts.system + counts.own + counts.duplicates;
  const int64_t found = counts.packed + skipped + counts.failed + counts.left;
  return "Tally: " + counted(found, "file", "files") + " found, " +
         std::to_string(counts.packed) + " packed into " +
         counted(counts.targets, "mbox file", "mbox files") + ", " +
         std::to_string(skipped) + " skipped (" + std::to_string(counts.empty) +
         " empty, " + counted(counts.system, "system file", "system files") +
         ", " +
         counted(counts.own, "mbox file of this run",
                 "mbox files of this run") +
         (counts.duplicates_skipped
              ? ", " + counted(counts.duplicates, "duplicate", "duplicates")
              : std::string()) +
         "), " + std::to_string(counts.failed) + " not packed, " +
         std::to_string(counts.left) + " not reached; " +
         counted(counts.folders, "folder could not be read",
                 "folders could not be read") +
         ".";
}

std::string summary(bool stopped) {
  if (!is_no_prompt()) {
    return std::string();
  }
  std::string text = unprotected_note();
  if (stopped) {
    text += "Aborted by user.\n";
  }
  char count[64];
  std::snprintf(count, sizeof count, "%d error%s.", errors_counted,
                errors_counted == 1 ? "" : "s");
  return text + count;
}

// The group's outcome after its target is closed: a target that could not
// be flushed is a write error, unless the group ended otherwise.
int64_t close_target(target_in_hand& target, int64_t outcome) {
  bool closed = close_locked(target.file);
  target.file = nullptr;
  if (!closed && outcome == 0) {
    ++errors_counted;
    return E_WRITE;
  }
  return outcome;
}

// Whether a stop was confirmed: pending events are taken first, so that a
// Cancel pressed while the last group ended is answered before the next
// target is opened (and, without "/a", emptied).
bool stop_requested() {
  take_events();
  return !keep_running;
}

target_extensions extensions_of(const pack_settings& config) {
  return {config.mbox_extension, config.folder_extension};
}

// The directory the group's files are in.
std::string group_directory(const source_parts& parts,
                            const source_group& group) {
  std::string directory = parts.source_directory;
  return directory.append(group.relative_directory);
}

// A "._" file that begins with the AppleDouble signature; one that cannot
// be read is tried, so that its read error is reported.
bool is_apple_double(std::string_view name, uint64_t size,
                     const std::string& path) {
  if (!is_apple_double_name(name) || size < apple_double_signature_size) {
    return false;
  }
  std::FILE* source = raw_open_source(path);
  if (!source) {
    return false;
  }
  char head[apple_double_signature_size];
  size_t got = std::fread(head, 1, sizeof head, source);
  std::fclose(source);
  return has_apple_double_signature(head, got);
}

// What a file is before it is tried.
enum file_kind { FILE_TRY, FILE_EMPTY, FILE_SYSTEM, FILE_OWN, FILE_TAKEN };

// What a group's folder says of its files before they are tried.
struct group_rules {
  bool system_folder = false;
  bool (*is_store_file)(std::string_view name) = nullptr;  // a store's own
};

group_rules rules_of(const source_group& group) {
  group_rules rules;
  rules.system_folder = is_in_system_folder(group.relative_directory);
  rules.is_store_file = group.kind ? group.kind->is_store_file : nullptr;
  return rules;
}

// The rules that pass a file over whatever its target: empty, then a
// system file (a mail store's own files among them); path is set when the
// file is not empty.
file_kind file_rule(const std::string& directory, const group_rules& rules,
                    const source_entry& entry, std::string& path) {
  if (entry.size == 0) {
    return FILE_EMPTY;
  }
  path.assign(directory).append(entry.name);
  if (rules.system_folder || is_system_file_name(entry.name) ||
      (rules.is_store_file && rules.is_store_file(entry.name)) ||
      is_apple_double(entry.name, entry.size, path)) {
    return FILE_SYSTEM;
  }
  return FILE_TRY;
}

// The first rule that applies: empty, system file, file of this run, or
// packed already under another name; a file to try counts as taken.
file_kind judge_file(const target_in_hand& target, const std::string& directory,
                     const group_rules& rules, const source_entry& entry,
                     std::string& path) {
  const file_kind kind = file_rule(directory, rules, entry, path);
  if (kind != FILE_TRY) {
    return kind;
  }
  switch (judge_source(target, directory, entry.name, entry.size,
                       entry.identity_tag)) {
  case SOURCE_TRY:
    return FILE_TRY;
  case SOURCE_EMPTY:
    return FILE_EMPTY;
  case SOURCE_RUN_TARGET:
    return FILE_OWN;
  default:
    return FILE_TAKEN;
  }
}

// Counts a file that was not tried; false for a file to try.
bool count_skipped(file_kind kind) {
  switch (kind) {
  case FILE_EMPTY:
    ++tally.empty;
    return true;
  case FILE_SYSTEM:
    ++tally.system;
    return true;
  case FILE_OWN:
    ++tally.own;
    return true;
  case FILE_TAKEN:
    return true;
  default:
    return false;
  }
}

// Whether a group has a file to try, so that its target is opened: a
// group of skipped files gets no mbox file.
bool group_has_sources(const std::string& directory,
                       const source_group& group) {
  group_rules rules = rules_of(group);
  if (rules.system_folder) {
    return false;
  }
  std::string path;
  for (const source_entry& entry : group.files) {
    if (file_rule(directory, rules, entry, path) == FILE_TRY &&
        is_new_source(path)) {
      return true;
    }
  }
  return false;
}

bool any_sources(const source_parts& parts, const collection_list& list) {
  for (const source_group& group : list.groups) {
    if (group_has_sources(group_directory(parts, group), group)) {
      return true;
    }
  }
  return false;
}

// How the files a group did not try are counted.
enum rest_kind {
  REST_NOT_REACHED,  // the run stopped
  REST_NOT_PACKED,   // the group's target failed, the run went on
};

// Counts a file the run did not try.
void count_file_rest(const std::string& directory, const group_rules& rules,
                     const source_entry& entry, rest_kind rest) {
  const target_in_hand no_target;
  std::string path;
  if (rest == REST_NOT_REACHED) {
    path.assign(directory).append(entry.name);
    if (!taken_already(path)) {
      ++tally.left;
    }
  } else if (!count_skipped(
                 judge_file(no_target, directory, rules, entry, path))) {
    ++tally.failed;
  }
}

// Counts a group's files after the first done ones.
void count_rest(const std::string& directory, const source_group& group,
                size_t done, rest_kind rest) {
  const group_rules rules = rules_of(group);
  size_t index = 0;
  for (const source_entry& entry : group.files) {
    if (index++ < done) {
      continue;
    }
    count_file_rest(directory, rules, entry, rest);
  }
}

// Counts the groups from first on as not reached.
void count_groups_left(const source_parts& parts, const collection_list& list,
                       size_t first) {
  for (size_t i = first; i < list.groups.size(); ++i) {
    count_rest(group_directory(parts, list.groups[i]), list.groups[i], 0,
               REST_NOT_REACHED);
  }
}

// The log line of a target as it is closed, after its group's errors.
void note_target_written(const target_in_hand& target, int64_t messages) {
  char numbers[96];
  std::snprintf(numbers, sizeof numbers, "%lld message%s written to '",
                static_cast<long long>(messages), messages == 1 ? "" : "s");
  log_note(
      numbers + format_message("%s' (", target.path) +
      format_message("%lld bytes).",
                     static_cast<long long>(target.size - target.start_size)));
}

// The source's digest, and whether the target holds its message already:
// 0, a read error (no digest, no duplicate: packing it reports why), or
// E_ABORTED when a stop came while reading.
int64_t find_duplicate(const std::string& source_path, message_digest& digest,
                       bool& duplicate) {
  message_source source = open_message_source(source_path);
  int64_t code = digest_message(source, digest);
  close_message_source(source);
  duplicate = code == 0 && target_digests.contains(digest);
  return code;
}

// Packs one file that is to be tried and counts it: 0, or its code.
int64_t pack_counted(target_in_hand& target, const std::string& source_path,
                     int64_t& messages) {
  message_digest digest;
  bool digested = false;
  if (skip_duplicates) {
    bool duplicate = false;
    const int64_t read = find_duplicate(source_path, digest, duplicate);
    if (read == E_ABORTED) {
      ++tally.left;
      return E_ABORTED;
    }
    digested = read == 0;
    if (duplicate) {
      ++tally.duplicates;
      log_note(format_message("Already in '%s': ", target.path) +
               format_message("'%s'.", source_path));
      return 0;
    }
  }
  transfer_notes notes;
  int64_t code = pack_message(target, source_path, notes);
  if (code == E_RUN_TARGET || code == E_TAKEN) {
    // Found to be a target of this run, or a file packed already, once
    // open.
    tally.own += code == E_RUN_TARGET;
    code = 0;
  } else if (code == 0 || code == E_TOO_BIG) {
    unprotected_lines += notes.unprotected_lines;
    ++tally.packed;
    ++messages;
    if (digested) {
      target_digests.insert(digest);
    }
  } else if (code == E_ABORTED) {
    ++tally.left;  // taken out again by a second stop
  } else {
    ++tally.failed;
  }
  if (!notes.missing_parts.empty() &&
      ask_about_missing_parts(notes, source_path)) {
    return code == 0 ? int64_t{E_ABORTED} : code;
  }
  return code;
}

// Deals with one file of a group and counts it: 0 to go on, or the code
// that ends the group: a stop (E_ABORTED, or a source fault answered with
// stop), or a fault of the target.
int64_t pack_file(target_in_hand& target, const std::string& source_directory,
                  const group_rules& rules, const source_entry& entry,
                  std::string& source_path, int64_t& messages) {
  set_file_in_hand(std::string(entry.name), static_cast<int64_t>(entry.size));
  if (!count_skipped(
          judge_file(target, source_directory, rules, entry, source_path))) {
    int64_t code = pack_counted(target, source_path, messages);
    if (code == E_READ || code == E_SOURCE_FORMAT) {
      ++errors_counted;
      if (ask_proceed(source_failure_message(code, source_path))) {
        return code;
      }
    } else if (code != 0) {
      if (code != E_ABORTED) {
        ++errors_counted;
      }
      return code;
    }
  }
  advance_progress(entry.size);
  if (!keep_running) {
    return E_ABORTED;
  }
  return 0;
}

// Packs a group's files into the open target, one message at a time; 0,
// or the code that ended the group. done is the number of files dealt
// with and counted; messages grows by those packed.
int64_t pack_files(target_in_hand& target, const std::string& source_directory,
                   const source_group& group, size_t& done, int64_t& messages) {
  show_names(source_directory, "");
  const group_rules rules = rules_of(group);
  std::string source_path;
  done = 0;
  for (const source_entry& entry : group.files) {
    ++done;
    int64_t code = pack_file(target, source_directory, rules, entry,
                             source_path, messages);
    if (code != 0) {
      return code;
    }
  }
  return 0;
}

// ---- Packing in the order of the messages' dates ----

// The files of the groups [first, end) of a list in the order of their
// dates: positions count through the groups' files in listing order. A
// group's files are read front to back, so every 64th one is kept as a
// place to read on from: a few bytes a file in all.
constexpr size_t file_stride = 64;

struct dated_files {
  size_t first = 0;
  std::vector<uint32_t> group_starts;  // the first position of each group
  std::vector<uint32_t> first_marks;   // each group's first entry in marks
  std::vector<source_files::iterator> marks;
  std::vector<uint64_t> order;  // date keys, earliest first
};

// The group (an index into the list) and the file of a position.
std::pair<size_t, source_entry> file_at(const dated_files& files,
                                        uint32_t position) {
  auto after = std::upper_bound(files.group_starts.begin(),
                                files.group_starts.end(), position);
  size_t slot = static_cast<size_t>(after - files.group_starts.begin()) - 1;
  size_t index = position - files.group_starts[slot];
  source_files::iterator it =
      files.marks[files.first_marks[slot] + index / file_stride];
  for (size_t step = index % file_stride; step > 0; --step) {
    ++it;
  }
  return {files.first + slot, *it};
}

// The share of the progress bar the pass over the headers takes: a tenth.
uint64_t date_pass_share(uint64_t bytes) {
  return order_by_date ? bytes / 9 : 0;
}

// Reads the date of every file of the groups [first, end) before their
// target is opened; false when a stop came. A file that is passed over
// unread (empty, a system file) or cannot be read has no date.
bool read_dates(const source_parts& parts, const collection_list& list,
                size_t first, size_t end, dated_files& out) {
  out.first = first;
  uint64_t span_bytes = 0;
  size_t count = 0;
  size_t mark_count = 0;
  for (size_t g = first; g < end; ++g) {
    out.group_starts.push_back(static_cast<uint32_t>(count));
    out.first_marks.push_back(static_cast<uint32_t>(mark_count));
    count += list.groups[g].files.size();
    mark_count += (list.groups[g].files.size() + file_stride - 1) / file_stride;
    span_bytes += list.groups[g].bytes;
  }
  out.marks.reserve(mark_count);
  out.order.reserve(count);
  const double share = static_cast<double>(date_pass_share(span_bytes));
  uint64_t read_bytes = 0;
  uint64_t shown = 0;
  std::string path;
  for (size_t g = first; g < end; ++g) {
    const source_group& group = list.groups[g];
    const std::string directory = group_directory(parts, group);
    show_names(directory, "");
    const group_rules rules = rules_of(group);
    size_t index = 0;
    for (auto it = group.files.begin(); it != group.files.end(); ++it) {
      if (index++ % file_stride == 0) {
        out.marks.push_back(it);
      }
      const source_entry& entry = *it;
      bool readable = file_rule(directory, rules, entry, path) == FILE_TRY;
      out.order.push_back(date_key(readable ? source_date(path) : undated,
                                   static_cast<uint32_t>(out.order.size())));
      read_bytes += entry.size;
      uint64_t due =
          span_bytes == 0
              ? 0
              : static_cast<uint64_t>(share * static_cast<double>(read_bytes) /
                                      static_cast<double>(span_bytes));
      advance_progress(due - shown);
      shown = due;
      do_events();
      if (!keep_running) {
        return false;
      }
    }
  }
  sort_by_date(out.order);
  return true;
}

// pack_files over files in the order of their dates; the source folder
// shown follows the message in hand.
int64_t pack_dated_files(target_in_hand& target, const source_parts& parts,
                         const collection_list& list, const dated_files& files,
                         size_t& done, int64_t& messages) {
  std::string source_path;
  std::string directory;
  size_t shown_group = list.groups.size();
  done = 0;
  for (uint64_t key : files.order) {
    const auto [g, entry] = file_at(files, key_position(key));
    const source_group& group = list.groups[g];
    if (g != shown_group) {
      shown_group = g;
      directory = group_directory(parts, group);
      show_names(directory, "");
    }
    ++done;
    int64_t code = pack_file(target, directory, rules_of(group), entry,
                             source_path, messages);
    if (code != 0) {
      return code;
    }
  }
  return 0;
}

// count_rest over the files after the first done of a date order.
void count_dated_rest(const source_parts& parts, const collection_list& list,
                      const dated_files& files, size_t done, rest_kind rest) {
  for (size_t k = done; k < files.order.size(); ++k) {
    const auto [g, entry] = file_at(files, key_position(files.order[k]));
    const source_group& group = list.groups[g];
    count_file_rest(group_directory(parts, group), rules_of(group), entry,
                    rest);
  }
}

// ---- The old content of appended targets ----

// The bytes the reading of old content has shown.
uint64_t old_bytes_shown = 0;

void show_old_bytes(uint64_t bytes) {
  old_bytes_shown += bytes;
  advance_progress(bytes);
}

// The existing size of a target whose old content a run with "/a" reads.
uint64_t old_content_size(const run_settings& run, const std::string& path) {
  if (!skip_duplicates || !run.append_mode || path_kind(path) != KIND_FILE) {
    return 0;
  }
  int64_t size = file_size(path);
  return size > 0 ? static_cast<uint64_t>(size) : 0;
}

// Opens a target; with Duplicates=skip its digests start from its old
// content, with room for the files it may take.
open_target_result open_target_for(const run_settings& run,
                                   const pack_settings& config,
                                   const std::string& path, size_t files) {
  if (!skip_duplicates) {
    return open_target(path, run.append_mode, config);
  }
  target_digests.clear();
  std::vector<message_digest> old;
  old_content reading;
  reading.digests = &old;
  reading.told = show_old_bytes;
  const uint64_t expected = old_content_size(run, path);
  old_bytes_shown = 0;
  open_target_result opened =
      open_target(path, run.append_mode, config, reading);
  if (old_bytes_shown < expected) {
    advance_progress(expected - old_bytes_shown);
  }
  target_digests.reserve(old.size() + files);
  target_digests.insert_all(old);
  return opened;
}

size_t file_count(const collection_list& list) {
  size_t count = 0;
  for (const source_group& group : list.groups) {
    count += group.files.size();
  }
  return count;
}

// What the progress bar counts beyond the sources' bytes: the pass over
// their dates, and the old content of the targets that is read.
uint64_t extra_progress(const run_settings& run, const pack_settings& config,
                        const source_parts& parts,
                        const collection_list& list) {
  uint64_t extra = date_pass_share(list.total_bytes);
  if (!skip_duplicates || !run.append_mode) {
    return extra;
  }
  const target_extensions extensions = extensions_of(config);
  if (!run.separate_mboxes) {
    return extra +
           old_content_size(
               run, single_target_path(run.output_dir, parts.source_folder_name,
                                       extensions));
  }
  for (const source_group& group : list.groups) {
    extra += old_content_size(
        run, group_target_path(run.output_dir, parts.source_folder_name,
                               std::string(group.name), extensions));
  }
  return extra;
}

// Packs every group into the one target of a single-mbox run.
packing_end pack_single(const run_settings& run, const pack_settings& config,
                        const source_parts& parts,
                        const collection_list& list) {
  std::string path = single_target_path(
      run.output_dir, parts.source_folder_name, extensions_of(config));
  note_run_target(path);
  packing_end end;
  if (stop_requested()) {
    count_groups_left(parts, list, 0);
    end.stopped = true;
    return end;
  }
  if (!any_sources(parts, list)) {
    // Only skipped files: no target is made for them.
    for (const source_group& group : list.groups) {
      count_rest(group_directory(parts, group), group, 0, REST_NOT_PACKED);
    }
    return end;
  }
  dated_files dated;
  if (order_by_date && !read_dates(parts, list, 0, list.groups.size(), dated)) {
    count_groups_left(parts, list, 0);
    end.stopped = true;
    return end;
  }
  open_target_result opened =
      open_target_for(run, config, path, file_count(list));
  if (opened.code == E_ABORTED || opened.code == E_DISK_FULL) {
    count_groups_left(parts, list, 0);
  } else if (opened.code != 0) {
    for (const source_group& group : list.groups) {
      count_rest(group_directory(parts, group), group, 0, REST_NOT_PACKED);
    }
  }
  if (opened.code == E_ABORTED) {
    end.stopped = true;
    return end;
  }
  if (opened.code != 0) {
    ++errors_counted;
    return opened.code == E_DISK_FULL
               ? fatal_end(disk_full_message(path), exit_fatal)
               : fatal_end(target_failure_message(opened.code, path),
                           exit_errors);
  }
  ++tally.targets;
  target_in_hand& target = opened.target;
  show_names("", path);
  int64_t outcome = 0;
  int64_t messages = 0;
  if (order_by_date) {
    // The whole tree in the order of its dates.
    size_t done = 0;
    outcome = pack_dated_files(target, parts, list, dated, done, messages);
    if (outcome != 0) {
      count_dated_rest(parts, list, dated, done, REST_NOT_REACHED);
    }
  }
  for (size_t i = 0; i < list.groups.size() && !order_by_date; ++i) {
    const source_group& group = list.groups[i];
    const std::string directory = group_directory(parts, group);
    size_t done = 0;
    outcome = pack_files(target, directory, group, done, messages);
    if (outcome != 0) {
      // Every fault of the one target, and every stop, ends the run.
      count_rest(directory, group, done, REST_NOT_REACHED);
      count_groups_left(parts, list, i + 1);
      break;
    }
  }
  outcome = close_target(target, outcome);
  note_target_written(target, messages);
  if (outcome == E_DISK_FULL) {
    return fatal_end(disk_full_message(path), exit_fatal);
  }
  if (outcome == E_TOO_BIG || outcome == E_WRITE) {
    return fatal_end(target_failure_message(outcome, path), exit_errors);
  }
  end.stopped = outcome != 0;
  return end;
}

// One target per group; per-target failures are asked about.
packing_end pack_separate(const run_settings& run, const pack_settings& config,
                          const source_parts& parts,
                          const collection_list& list) {
  const target_extensions extensions = extensions_of(config);
  for (const source_group& group : list.groups) {
    note_run_target(group_target_path(run.output_dir, parts.source_folder_name,
                                      std::string(group.name), extensions));
  }
  packing_end end;
  end.stopped = true;  // every early return below is a stop
  for (size_t i = 0; i < list.groups.size(); ++i) {
    const source_group& group = list.groups[i];
    if (stop_requested()) {
      count_groups_left(parts, list, i);
      return end;
    }
    std::string source_directory = group_directory(parts, group);
    std::string path =
        group_target_path(run.output_dir, parts.source_folder_name,
                          std::string(group.name), extensions);
    if (!group_has_sources(source_directory, group)) {
      // Only skipped files, such as the mbox files of an earlier run inside
      // the tree: the group gets no target of its own.
      count_rest(source_directory, group, 0, REST_NOT_PACKED);
      advance_progress(group.bytes + date_pass_share(group.bytes) +
                       old_content_size(run, path));
      continue;
    }
    dated_files dated;
    if (order_by_date && !read_dates(parts, list, i, i + 1, dated)) {
      count_groups_left(parts, list, i);
      return end;
    }
    // The files after the first done, counted as kind.
    auto count_group_rest = [&](size_t done, rest_kind kind) {
      if (order_by_date) {
        count_dated_rest(parts, list, dated, done, kind);
      } else {
        count_rest(source_directory, group, done, kind);
      }
    };
    std::string directory = file_directory(path);
    open_target_result opened;
    if (create_directory_tree(directory) != 0) {
      opened.code = E_CREATE_DIR;
    } else {
      opened = open_target_for(run, config, path, group.files.size());
    }
    if (opened.code == E_ABORTED) {
      count_groups_left(parts, list, i);
      return end;
    }
    if (opened.code != 0) {
      ++errors_counted;
      if (opened.code == E_DISK_FULL) {
        count_groups_left(parts, list, i);
        return fatal_end(disk_full_message(path), exit_fatal);
      }
      std::string message =
          opened.code == E_CREATE_DIR
              ? format_message("Error creating directory '%s'.", directory)
              : target_failure_message(opened.code, path);
      if (ask_proceed(message)) {
        count_groups_left(parts, list, i);
        return end;
      }
      count_rest(source_directory, group, 0, REST_NOT_PACKED);
      advance_progress(group.bytes);
      continue;
    }
    ++tally.targets;
    show_names("", path);
    size_t done = 0;
    int64_t messages = 0;
    int64_t outcome = order_by_date
                          ? pack_dated_files(opened.target, parts, list, dated,
                                             done, messages)
                          : pack_files(opened.target, source_directory, group,
                                       done, messages);
    outcome = close_target(opened.target, outcome);
    note_target_written(opened.target, messages);
    if (outcome == 0) {
      continue;
    }
    bool target_fault = outcome == E_TOO_BIG || outcome == E_WRITE;
    if (target_fault && !ask_proceed(target_failure_message(outcome, path))) {
      count_group_rest(done, REST_NOT_PACKED);
      continue;
    }
    // A full disk, a stop (E_ABORTED, or a source error answered with stop).
    count_group_rest(done, REST_NOT_REACHED);
    count_groups_left(parts, list, i + 1);
    if (outcome == E_DISK_FULL) {
      return fatal_end(disk_full_message(path), exit_fatal);
    }
    return end;
  }
  end.stopped = false;
  return end;
}

}  // namespace

void set_job_start_hook(void (*hook)()) {
  job_start_hook = hook;
}

std::pair<std::string, int> run_job(const run_settings& run) {
  source_parts parts = derive_source_parts(run.source_spec);
  std::pair<std::string, int> settings_fault = load_settings(ini_path());
  if (settings_fault.second != exit_ok) {
    return settings_fault;
  }
  const pack_settings& config = current_settings();
  if (job_start_hook) {
    job_start_hook();
  }
  errors_counted = 0;
  unprotected_lines = 0;
  tally = file_tally();
  skip_duplicates = config.mbox.duplicates == DUPLICATES_SKIP;
  order_by_date = config.mbox.order == ORDER_DATE;
  tally.duplicates_skipped = skip_duplicates;
  set_unreadable_folder_routine(ask_about_unreadable_folder);
  collection_list list = collect_sources(parts.source_directory,
                                         parts.name_pattern, run.recursive);
  tally.folders = list.unreadable_folders + list.denied_folders;
  if (!list.source_name.empty()) {
    parts.source_folder_name = list.source_name;  // "INBOX.mbox" as "INBOX"
  }
  bool stopped = !keep_running;
  if (!stopped && list.groups.empty()) {
    set_run_tally(tally_line(tally));
    return {no_match_message(run.source_spec), exit_no_files};
  }
  set_progress_total(list.total_bytes +
                     extra_progress(run, config, parts, list));
  errors_counted += list.unreadable_folders;  // reported by the walk
  forget_run_targets();
  note_shared_sources(list.shared_files);
  if (stopped) {
    count_groups_left(parts, list, 0);
  } else {
    packing_end end = run.separate_mboxes
                          ? pack_separate(run, config, parts, list)
                          : pack_single(run, config, parts, list);
    if (!end.message.empty()) {
      set_run_tally(tally_line(tally));
      return {end.message, end.code};
    }
    stopped = end.stopped;
  }
  set_run_tally(tally_line(tally));
  int code = errors_counted > 0 || stopped ? exit_errors : exit_ok;
  return {summary(stopped), code};
}

}  // namespace qp
