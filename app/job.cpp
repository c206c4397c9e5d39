#include "app/job.h"

#include <cstdio>
#include <string>
#include <utility>

#include "base/paths.h"
#include "collect/collection.h"
#include "collect/system_files.h"
#include "config/settings.h"
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
};
file_tally tally;
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
  const int64_t skipped = counts.empty + counts.system + counts.own;
  const int64_t found = counts.packed + skipped + counts.failed + counts.left;
  return "Tally: " + counted(found, "file", "files") + " found, " +
         std::to_string(counts.packed) + " packed into " +
         counted(counts.targets, "mbox file", "mbox files") + ", " +
         std::to_string(skipped) + " skipped (" + std::to_string(counts.empty) +
         " empty, " + counted(counts.system, "system file", "system files") +
         ", " +
         counted(counts.own, "mbox file of this run",
                 "mbox files of this run") +
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

// The rules that pass a file over whatever its target: empty, then a
// system file; path is set when the file is not empty.
file_kind file_rule(const std::string& directory, bool system_folder,
                    const source_entry& entry, std::string& path) {
  if (entry.size == 0) {
    return FILE_EMPTY;
  }
  path.assign(directory).append(entry.name);
  if (system_folder || is_system_file_name(entry.name) ||
      is_apple_double(entry.name, entry.size, path)) {
    return FILE_SYSTEM;
  }
  return FILE_TRY;
}

// The first rule that applies: empty, system file, file of this run, or
// packed already under another name; a file to try counts as taken.
file_kind judge_file(const target_in_hand& target, const std::string& directory,
                     bool system_folder, const source_entry& entry,
                     std::string& path) {
  const file_kind kind = file_rule(directory, system_folder, entry, path);
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
  if (is_in_system_folder(group.relative_directory)) {
    return false;
  }
  std::string path;
  for (const source_entry& entry : group.files) {
    if (file_rule(directory, false, entry, path) == FILE_TRY &&
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

// Counts a group's files after the first done ones.
void count_rest(const std::string& directory, const source_group& group,
                size_t done, rest_kind rest) {
  const bool system_folder = is_in_system_folder(group.relative_directory);
  const target_in_hand no_target;
  std::string path;
  size_t index = 0;
  for (const source_entry& entry : group.files) {
    if (index++ < done) {
      continue;
    }
    if (rest == REST_NOT_REACHED) {
      path.assign(directory).append(entry.name);
      if (!taken_already(path)) {
        ++tally.left;
      }
    } else if (!count_skipped(judge_file(no_target, directory, system_folder,
                                         entry, path))) {
      ++tally.failed;
    }
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

// Packs a group's files into the open target, one message at a time; 0,
// or the code that ended the group: a stop (E_ABORTED, or a source fault
// answered with stop), or a fault of the target. done is the number of
// files dealt with and counted; messages grows by those packed.
int64_t pack_files(target_in_hand& target, const std::string& source_directory,
                   const source_group& group, size_t& done, int64_t& messages) {
  show_names(source_directory, "");
  const bool system_folder = is_in_system_folder(group.relative_directory);
  std::string source_path;
  done = 0;
  for (const source_entry& entry : group.files) {
    set_file_in_hand(std::string(entry.name), static_cast<int64_t>(entry.size));
    if (!count_skipped(judge_file(target, source_directory, system_folder,
                                  entry, source_path))) {
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
      } else if (code == E_ABORTED) {
        ++tally.left;  // taken out again by a second stop
      } else {
        ++tally.failed;
      }
      ++done;
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
    } else {
      ++done;
    }
    advance_progress(entry.size);
    if (!keep_running) {
      return E_ABORTED;
    }
  }
  return 0;
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
  open_target_result opened = open_target(path, run.append_mode, config);
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
  for (size_t i = 0; i < list.groups.size(); ++i) {
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
    if (!group_has_sources(source_directory, group)) {
      // Only skipped files, such as the mbox files of an earlier run inside
      // the tree: the group gets no target of its own.
      count_rest(source_directory, group, 0, REST_NOT_PACKED);
      advance_progress(group.bytes);
      continue;
    }
    std::string path =
        group_target_path(run.output_dir, parts.source_folder_name,
                          std::string(group.name), extensions);
    std::string directory = file_directory(path);
    open_target_result opened;
    if (create_directory_tree(directory) != 0) {
      opened.code = E_CREATE_DIR;
    } else {
      opened = open_target(path, run.append_mode, config);
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
    int64_t outcome =
        pack_files(opened.target, source_directory, group, done, messages);
    outcome = close_target(opened.target, outcome);
    note_target_written(opened.target, messages);
    if (outcome == 0) {
      continue;
    }
    bool target_fault = outcome == E_TOO_BIG || outcome == E_WRITE;
    if (target_fault && !ask_proceed(target_failure_message(outcome, path))) {
      count_rest(source_directory, group, done, REST_NOT_PACKED);
      continue;
    }
    // A full disk, a stop (E_ABORTED, or a source error answered with stop).
    count_rest(source_directory, group, done, REST_NOT_REACHED);
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
  set_unreadable_folder_routine(ask_about_unreadable_folder);
  collection_list list = collect_sources(parts.source_directory,
                                         parts.name_pattern, run.recursive);
  tally.folders = list.unreadable_folders + list.denied_folders;
  bool stopped = !keep_running;
  if (!stopped && list.groups.empty()) {
    set_run_tally(tally_line(tally));
    return {no_match_message(run.source_spec), exit_no_files};
  }
  set_progress_total(list.total_bytes);
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
