// The settings of the INI file: defaults, validation of a parsed INI
// document, and the fatal report of a faulty file.
#include "config/settings.h"

#include <string>
#include <vector>

#include "base/name_text.h"
#include "base/paths.h"
#include "base/process.h"
#include "base/program.h"
#include "config/user_dir.h"
#include "log/outside_text.h"

namespace qp {

namespace {

pack_settings settings_of_run;

}  // namespace

const pack_settings& current_settings() {
  return settings_of_run;
}

void set_default_settings() {
  settings_of_run = pack_settings();
}

std::string executable_ini_path() {
  return file_directory(own_path()) + program_name + ".ini";
}

std::string user_ini_path() {
  std::string base = user_config_directory();
  if (base.empty()) {
    return std::string();
  }
  return base + program_name + native_style.separator + program_name + ".ini";
}

// Anything at the user's place counts, even what cannot be opened then (a
// directory, a FIFO, a dangling link): the user's file is meant, and one
// beside the executable must not stand in for it unnoticed.
std::string ini_path() {
  std::string user = user_ini_path();
  if (!user.empty() && entry_exists(user)) {
    return user;
  }
  return executable_ini_path();
}

namespace {

using entry_list = std::vector<std::pair<std::string, std::string>>;

// Keys, values and the file's path come from outside: shown escaped.
std::string quoted(const std::string& text) {
  return quote_outside_text(text);
}

std::string unknown_key(const char* section, const std::string& key) {
  return "Section " + quoted(section) + ": Unknown key " + quoted(key) + ".";
}

// The entries of FromLines, in file order; "" or the fault.
std::string apply_from_lines(const entry_list& entries, pack_settings& out) {
  for (const auto& [key, value] : entries) {
    std::string name = to_lower(key);
    if (name == "changeallowed") {
      std::string word = to_lower(value);
      if (word == "true") {
        out.from_mode = FROM_ALL;
      } else if (word != "false") {  // "false" leaves the mode as it is
        return "Section 'FromLines': Key 'ChangeAllowed' cannot take value " +
               quoted(value) + ".";
      }
    } else if (name == "donotchange-begin") {
      out.donotchange_begin = value;
    } else if (name == "donotchange-end") {
      out.donotchange_end = value;
    } else if (!name.empty()) {
      return unknown_key("FromLines", key);
    }
  }
  return std::string();
}

// An extension value; "" or the fault.
std::string apply_extension(const char* key, const std::string& value,
                            std::string& extension) {
  std::string rest = trim_left(name_text(value), ".");
  if (rest.empty()) {
    extension.clear();
    return std::string();
  }
  std::string bad = bad_file_name_chars(rest);
  if (!bad.empty()) {
    return "Key " + quoted(key) + ": Character(s) " + quoted(bad) +
           " not allowed in file names on Windows.";
  }
  extension = "." + rest;
  return std::string();
}

// The entries of Names, in file order; "" or the fault.
std::string apply_names(const entry_list& entries, pack_settings& out) {
  for (const auto& [key, value] : entries) {
    std::string name = to_lower(key);
    std::string detail;
    if (name == "mboxextension") {
      detail = apply_extension("MboxExtension", value, out.mbox_extension);
    } else if (name == "folderextension") {
      detail = apply_extension("FolderExtension", value, out.folder_extension);
    } else if (!name.empty()) {
      detail = unknown_key("Names", key);
    }
    if (!detail.empty()) {
      return detail;
    }
  }
  return std::string();
}

std::string structure_detail(const ini_result& parsed) {
  switch (parsed.status) {
  case INI_NO_SECTION:
    return "No section found.";
  case INI_INVALID_SECTION:
    return "Invalid section on line " + std::to_string(parsed.line) + ".";
  case INI_DUPLICATE_NAME:
    return "Duplicate name on line " + std::to_string(parsed.line) + ".";
  case INI_TOO_LARGE:
    return "File larger than 1 MiB.";
  default:
    return std::string();
  }
}

std::string fatal_message(const std::string& path, const std::string& detail) {
  return "Error in file " + quoted(path) + ".\n" + detail +
         "\nProgram aborted.";
}

}  // namespace

// The steps of load_settings after parse_ini, in their fixed order, so
// that an earlier step's fault wins over a later line's. parse_ini admits
// each section once; a document built otherwise with a known section twice
// has the entries of both applied, in file order.
std::string apply_ini_document(const ini_document& document,
                               pack_settings& out) {
  entry_list from_lines;
  entry_list names;
  entry_list mbox;
  for (const ini_section& section : document.sections) {
    std::string name = to_lower(section.name);
    entry_list* selected = nullptr;
    if (name == "fromlines") {
      selected = &from_lines;
    } else if (name == "names") {
      selected = &names;
    } else if (name == "mbox") {
      selected = &mbox;
    } else if (!name.empty()) {
      return "Unknown section " + quoted(section.name) + ".";
    }
    if (selected != nullptr) {
      selected->insert(selected->end(), section.entries.begin(),
                       section.entries.end());
    }
  }
  std::string detail = apply_from_lines(from_lines, out);
  if (!detail.empty()) {
    return detail;
  }
  if (out.from_mode != FROM_KEEP && !out.donotchange_begin.empty() &&
      !out.donotchange_end.empty()) {
    out.from_mode = FROM_GUARDED;
  }
  detail = apply_names(names, out);
  if (!detail.empty()) {
    return detail;
  }
  detail = apply_mbox_section(mbox, out.mbox);
  if (!detail.empty()) {
    return detail;
  }
  if (to_lower(out.mbox_extension) == to_lower(out.folder_extension)) {
    return "Values of 'MboxExtension' and 'FolderExtension' must not be "
           "equal.";
  }
  return std::string();
}

// out changes only when the whole file is valid: a faulty file leaves it as
// it was (the run ends anyway, and the caller's settings stay coherent).
std::string read_settings(const std::string& path, pack_settings& out) {
  ini_result parsed = parse_ini(path);
  if (parsed.status == INI_CANNOT_OPEN) {
    return std::string();
  }
  if (parsed.status != INI_OK) {
    return fatal_message(path, structure_detail(parsed));
  }
  pack_settings applied = out;
  std::string detail = apply_ini_document(parsed.document, applied);
  if (!detail.empty()) {
    return fatal_message(path, detail);
  }
  out = applied;
  return std::string();
}

std::pair<std::string, int> load_settings(const std::string& path) {
  std::string message = read_settings(path, settings_of_run);
  return {message, message.empty() ? exit_ok : exit_fatal};
}

}  // namespace qp
