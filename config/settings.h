// The settings of the INI file, their defaults and their validation.
#ifndef QUILLPACK_CONFIG_SETTINGS_H_
#define QUILLPACK_CONFIG_SETTINGS_H_

#include <string>
#include <utility>

#include "config/ini.h"
#include "config/mbox_format.h"

namespace qp {

enum quoting_mode { FROM_KEEP = 0, FROM_GUARDED = 1, FROM_ALL = 2 };

struct pack_settings {
  quoting_mode from_mode = FROM_KEEP;
  std::string donotchange_begin;
  std::string donotchange_end;
  std::string mbox_extension = ".mbx";
  std::string folder_extension;
  mbox_format mbox;  // the optional Mbox section
};

// The settings of this run; defaults until load_settings has read the file.
const pack_settings& current_settings();

void set_default_settings();

// The INI file beside the executable: its directory + "quillpack.ini".
std::string executable_ini_path();
// The user's own INI file: the user's settings directory +
// "quillpack/quillpack.ini"; empty when the platform names no such directory.
std::string user_ini_path();
// The INI file of this run: the user's when anything is there, otherwise the
// one beside the executable (which may be missing).
std::string ini_path();

// Applies a parsed document to out. Returns the detail line of the first
// fault ("Unknown section 'x'.", ...), or an empty string when it is valid.
std::string apply_ini_document(const ini_document& document,
                               pack_settings& out);

// Reads and applies the file at path. Returns the whole fatal message
// ("Error in file '%s'." / detail / "Program aborted."), or an empty string
// when the file is valid or missing.
std::string read_settings(const std::string& path, pack_settings& out);

// read_settings into the settings of this run. A fault comes back as its
// message and the exit code that ends the run with it; a valid or missing
// file as an empty message and exit_ok.
std::pair<std::string, int> load_settings(const std::string& path);

}  // namespace qp

#endif  // QUILLPACK_CONFIG_SETTINGS_H_
