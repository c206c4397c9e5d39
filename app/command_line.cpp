#include "app/command_line.h"

#include <string>
#include <vector>

#include "base/paths.h"
#include "base/process.h"
#include "log/log.h"
#include "report/report.h"
#include "window/platform.h"

namespace qp {

namespace {

run_settings parsed;

void raise_on_repeat(bool& seen, bool& syntax_error) {
  if (seen) {
    syntax_error = true;
  }
  seen = true;
}

std::string with_trailing_separator(const std::string& path) {
  if (!path.empty() && path.back() == native_style.separator) {
    return path;
  }
  return path + native_style.separator;
}

std::string resolve_source_spec(const std::string& argument) {
  std::string spec = full_path(argument);
  if (path_kind(spec) == KIND_DIRECTORY) {
    return with_trailing_separator(long_path(spec)) + "*.*";
  }
  std::string directory = directory_part(spec);
  if (path_kind(directory) != KIND_DIRECTORY) {
    finish_run(format_message("Invalid directory '%s'.", directory) +
                   "\nProgram aborted.",
               exit_fatal);
  }
  return spec;
}

std::string resolve_output_dir(const std::string& argument) {
  std::string directory = full_path(argument);
  int kind = path_kind(directory);
  if (kind == KIND_WILDCARD || kind == KIND_FILE) {
    finish_run(format_message("Invalid directory '%s'.", long_path(directory)) +
                   "\nProgram aborted.",
               exit_fatal);
  }
  if (kind == KIND_NONE && create_directory_tree(directory) != 0) {
    finish_run(format_message("Error creating directory '%s'.", directory) +
                   "\nProgram aborted.",
               exit_fatal);
  }
  return with_trailing_separator(path_lower(long_path(directory)));
}

// "-s" reads as "/s".
std::string as_slash_option(const std::string& argument) {
  std::string option = to_lower(argument);
  if (option.size() == 2 && option[0] == '-') {
    option[0] = '/';
  }
  return option;
}

}  // namespace

info_request find_info_request(const std::vector<std::string>& args) {
  const std::string help_switch = native_habits.help_switch;
  for (const std::string& argument : args) {
    std::string word = to_lower(argument);
    if (word == "--help" || word == "-h" ||
        (!help_switch.empty() && word == help_switch)) {
      return info_request::help;
    }
    if (word == "--version" || word == "-v") {
      return info_request::version;
    }
  }
  return info_request::none;
}

option_scan scan_options(const std::vector<std::string>& args,
                         bool open_log_on_p) {
  option_scan scan;
  for (size_t i = 2; i < args.size(); ++i) {
    std::string option = as_slash_option(args[i]);
    if (option == "/p") {
      bool repeated = scan.no_prompt;
      raise_on_repeat(scan.no_prompt, scan.syntax_error);
      if (!repeated && open_log_on_p) {
        set_no_prompt(true);
        open_log(args);
      }
    } else if (option == "/i") {
      raise_on_repeat(scan.minimised, scan.syntax_error);
    } else if (option == "/a") {
      raise_on_repeat(scan.append, scan.syntax_error);
    } else if (option == "/s") {
      raise_on_repeat(scan.recursive, scan.syntax_error);
    } else if (option == "/d") {
      raise_on_repeat(scan.single_mbox, scan.syntax_error);
    } else if (option != "/u") {
      scan.syntax_error = true;
    }
  }
  return scan;
}

void parse_command_line(const std::vector<std::string>& args) {
  set_no_prompt(false);
  parsed = run_settings{};
  info_request request = find_info_request(args);
  if (request != info_request::none) {
    show_info(request);
  }
  option_scan scan = scan_options(args, true);
  if (args.size() < 2 || scan.syntax_error) {
    show_usage();
  }
  parsed.minimised = scan.minimised;
  parsed.append_mode = scan.append;
  parsed.recursive = scan.recursive;
  parsed.separate_mboxes = !scan.single_mbox;
  parsed.source_spec = resolve_source_spec(args[0]);
  parsed.output_dir = resolve_output_dir(args[1]);
}

const run_settings& parsed_run() {
  return parsed;
}

const std::string& usage_text() {
  static const std::string text =
      std::string(program_banner) +
      "    Copyright (c) 2026 the quillpack developers\n"
      "\n"
      "Packs separate e-mail files into mbox files.\n"
      "\n"
      "  Usage:     quillpack  <file specification>  <output directory>  [options]\n"
      "\n" +
      native_habits.usage_example +
      "\n"
      "\n"
      "Options:\n"
      "/p    In case of an error, the program does not ask the user but\n"
      "       automatically tries to proceed.\n"
      "/i     The program starts as an icon in the taskbar.\n"
      "/a    If the target file already exists, the new data will be appended\n"
      "       to it, rather than overwrite it.\n"
      "/s    E-mail files are collected recursively from all subdirectories.\n"
      "       By default, the mails from each subdirectory are packed into\n"
      "       an individual mbox file.\n"
      "/d   This option only has an effect in combination with option /s:\n"
      "       When using /d, the mails from all subdirectories are packed\n"
      "       together into the same mbox file." +
      native_habits.usage_notes;
  return text;
}

void show_info(info_request request) {
  finish_with_info(request == info_request::help ? usage_text()
                                                 : program_banner);
}

void show_usage() {
  finish_with_usage(usage_text());
}

}  // namespace qp
