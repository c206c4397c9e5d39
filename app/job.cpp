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

// The run's counts: the job alone raises them.
int errors_counted = 0;
int64_t unprotected_lines = 0;
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

// Packs a group's files into the open target, one message at a time; 0,
// or the code that ended the group: a stop (E_ABORTED, or a source fault
// answered with stop), or a fault of the target.
int64_t pack_files(target_in_hand& target, const std::string& source_directory,
                   const source_files& files) {
  show_names(source_directory, "");
  std::string source_path;
  for (const source_entry& entry : files) {
    set_file_in_hand(std::string(entry.name), static_cast<int64_t>(entry.size));
    if (judge_source(target, source_directory, entry.name, entry.size) ==
        SOURCE_TRY) {
      source_path.assign(source_directory).append(entry.name);
      transfer_notes notes;
      int64_t code = pack_message(target, source_path, notes);
      if (code == 0 || code == E_TOO_BIG) {
        unprotected_lines += notes.unprotected_lines;
      }
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
    end.stopped = true;
    return end;
  }
  if (!any_sources(parts, list)) {
    return end;  // only files of this run: no target is made for them
  }
  open_target_result opened = open_target(path, run.append_mode, config);
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
  target_in_hand& target = opened.target;
  show_names("", path);
  int64_t outcome = 0;
  for (const source_group& group : list.groups) {
    outcome = pack_files(target, group_directory(parts, group), group.files);
    if (outcome != 0) {
      break;
    }
  }
  outcome = close_target(target, outcome);
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
                                      std::string(group.relative_directory),
                                      extensions));
  }
  packing_end end;
  end.stopped = true;  // every early return below is a stop
  for (const source_group& group : list.groups) {
    if (stop_requested()) {
      return end;
    }
    std::string source_directory = group_directory(parts, group);
    if (!group_has_sources(source_directory, group.files)) {
      // Only targets of this run, such as the mbox files of an earlier run
      // inside the tree: the group gets no target of its own.
      advance_progress(group.bytes);
      continue;
    }
    std::string path =
        group_target_path(run.output_dir, parts.source_folder_name,
                          std::string(group.relative_directory), extensions);
    std::string directory = file_directory(path);
    open_target_result opened;
    if (create_directory_tree(directory) != 0) {
      opened.code = E_CREATE_DIR;
    } else {
      opened = open_target(path, run.append_mode, config);
    }
    if (opened.code == E_ABORTED) {
      return end;
    }
    if (opened.code != 0) {
      ++errors_counted;
      if (opened.code == E_DISK_FULL) {
        return fatal_end(disk_full_message(path), exit_fatal);
      }
      std::string message =
          opened.code == E_CREATE_DIR
              ? format_message("Error creating directory '%s'.", directory)
              : target_failure_message(opened.code, path);
      if (ask_proceed(message)) {
        return end;
      }
      advance_progress(group.bytes);
      continue;
    }
    show_names("", path);
    int64_t outcome = pack_files(opened.target, source_directory, group.files);
    outcome = close_target(opened.target, outcome);
    if (outcome == E_DISK_FULL) {
      return fatal_end(disk_full_message(path), exit_fatal);
    }
    if (outcome == E_TOO_BIG || outcome == E_WRITE) {
      if (ask_proceed(target_failure_message(outcome, path))) {
        return end;
      }
    } else if (outcome != 0) {
      return end;  // E_ABORTED, or a source error answered with stop
    }
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
  collection_list list = collect_sources(parts.source_directory,
                                         parts.name_pattern, run.recursive);
  bool stopped = !keep_running;
  if (!stopped && list.groups.empty()) {
    return {no_match_message(run.source_spec), exit_no_files};
  }
  set_progress_total(list.total_bytes);
  errors_counted += list.unreadable_folders;  // reported by the walk
  forget_run_targets();
  note_shared_sources(list.shared_files);
  if (!stopped) {
    packing_end end = run.separate_mboxes
                          ? pack_separate(run, config, parts, list)
                          : pack_single(run, config, parts, list);
    if (!end.message.empty()) {
      return {end.message, end.code};
    }
    stopped = end.stopped;
  }
  int code = errors_counted > 0 || stopped ? exit_errors : exit_ok;
  return {summary(stopped), code};
}

}  // namespace qp
