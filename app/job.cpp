#include "app/job.h"

#include <cstdio>
#include <string>
#include <utility>

#include "base/paths.h"
#include "collect/collection.h"
#include "config/settings.h"
#include "pack/target.h"
#include "report/report.h"
#include "ui/progress.h"
#include "window/events.h"

namespace qp {

namespace {

// Bytes that make one percent of all collected files; 0 when they are empty.
double one_percent = 0;
// Test builds set this to force a crash at the start of the job.
void (*job_start_hook)() = nullptr;

std::string open_failure_message(int64_t code, const std::string& target) {
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

// Only the last component of the source argument can be a pattern: "*"
// and "?" in a directory's name are characters of that name.
void report_no_match(const std::string& source_spec) {
  bool wildcard = has_wildcard(file_name(source_spec));
  finish_run(format_message(wildcard ? "No matching file found '%s'."
                                     : "File '%s' not found.",
                            source_spec),
             exit_no_files);
}

double group_share(uint64_t bytes) {
  return one_percent > 0 ? static_cast<double>(bytes) / one_percent : 0;
}

// Body lines that many readers take for the start of a message: those of
// messages left unquoted and those of do-not-change regions alike.
std::string unprotected_note() {
  if (unprotected_line_count() <= 0) {
    return std::string();
  }
  char note[160];
  std::snprintf(note, sizeof note,
                "Note: %lld body line%s beginning with \"From \" left "
                "unchanged (see ChangeAllowed).\n",
                static_cast<long long>(unprotected_line_count()),
                unprotected_line_count() == 1 ? "" : "s");
  return note;
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
  std::snprintf(count, sizeof count, "%d error%s.", error_count(),
                error_count() == 1 ? "" : "s");
  return text + count;
}

// A size, or a stop; a pack result of a closed target that could not be
// flushed becomes a write error.
int64_t close_target(locked_file* file, int64_t result) {
  bool closed = close_locked(file);
  if (!closed && result >= 0) {
    count_error();
    return E_WRITE;
  }
  return result;
}

// Whether a stop was confirmed: pending events are taken first, so that a
// Cancel pressed while the last group ended is answered before the next
// target is opened (and, without "/a", emptied).
bool stop_requested() {
  do_events();
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

bool any_sources(const source_parts& parts, const collection_list& list) {
  for (const source_group& group : list.groups) {
    if (group_has_sources(group_directory(parts, group), group.files)) {
      return true;
    }
  }
  return false;
}

// Packs every group into the one target of a single-mbox run.
bool pack_single(const run_settings& run, const pack_settings& config,
                 const source_parts& parts, const collection_list& list) {
  std::string target = single_target_path(
      run.output_dir, parts.source_folder_name, extensions_of(config));
  note_run_target(target);
  if (stop_requested()) {
    return true;
  }
  if (!any_sources(parts, list)) {
    return false;  // only files of this run: no target is made for them
  }
  open_target_result opened = open_target(target, run.append_mode, config);
  if (opened.code == E_ABORTED) {
    return true;
  }
  if (opened.code != 0) {
    finish_run(open_failure_message(opened.code, target), exit_errors);
  }
  int64_t size = opened.size;
  int64_t result = size;
  for (const source_group& group : list.groups) {
    result = pack_group(group_directory(parts, group), group.files, target,
                        opened.file, size, opened.kind, config);
    if (result < 0) {
      break;
    }
    size = result;
  }
  result = close_target(opened.file, result);
  if (result == E_TOO_BIG || result == E_WRITE) {
    finish_run(open_failure_message(result, target), exit_errors);
  }
  return result < 0;
}

// One target per group; per-target failures are asked about.
bool pack_separate(const run_settings& run, const pack_settings& config,
                   const source_parts& parts, const collection_list& list) {
  const target_extensions extensions = extensions_of(config);
  for (const source_group& group : list.groups) {
    note_run_target(group_target_path(run.output_dir, parts.source_folder_name,
                                      std::string(group.name), extensions));
  }
  for (const source_group& group : list.groups) {
    if (stop_requested()) {
      return true;
    }
    std::string source_directory = group_directory(parts, group);
    if (!group_has_sources(source_directory, group.files)) {
      // Only targets of this run, such as the mbox files of an earlier run
      // inside the tree: the group gets no target of its own.
      show_progress(group_share(group.bytes));
      continue;
    }
    std::string target =
        group_target_path(run.output_dir, parts.source_folder_name,
                          std::string(group.name), extensions);
    std::string directory = file_directory(target);
    open_target_result opened;
    if (create_directory_tree(directory) != 0) {
      count_error();
      opened.code = E_CREATE_DIR;
    } else {
      opened = open_target(target, run.append_mode, config);
    }
    if (opened.code == E_ABORTED) {
      return true;
    }
    if (opened.code != 0) {
      std::string message =
          opened.code == E_CREATE_DIR
              ? format_message("Error creating directory '%s'.", directory)
              : open_failure_message(opened.code, target);
      if (ask_proceed(message)) {
        return true;
      }
      show_progress(group_share(group.bytes));
      continue;
    }
    int64_t result = pack_group(source_directory, group.files, target,
                                opened.file, opened.size, opened.kind, config);
    result = close_target(opened.file, result);
    if (result == E_TOO_BIG || result == E_WRITE) {
      if (ask_proceed(open_failure_message(result, target))) {
        return true;
      }
    } else if (result < 0) {
      return true;  // E_ABORTED, or a source error answered with stop
    }
  }
  return false;
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
  collection_list list = collect_sources(parts.source_directory,
                                         parts.name_pattern, run.recursive);
  bool stopped = !keep_running;
  if (!stopped && list.groups.empty()) {
    report_no_match(run.source_spec);
  }
  one_percent = static_cast<double>(list.total_bytes) / 100;
  set_progress_divisor(one_percent);
  reset_target_counts();
  for (int i = 0; i < list.unreadable_folders; ++i) {
    count_error();  // reported by the walk
  }
  forget_run_targets();
  note_shared_sources(list.shared_files);
  if (!stopped) {
    stopped = run.separate_mboxes ? pack_separate(run, config, parts, list)
                                  : pack_single(run, config, parts, list);
  }
  int code = error_count() > 0 || stopped ? exit_errors : exit_ok;
  return {summary(stopped), code};
}

}  // namespace qp
