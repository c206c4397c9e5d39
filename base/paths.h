// Path, directory and case operations.
//
// The pure string rules take a path_style so that the Windows rules (backslash,
// drive colon) and the POSIX rules (slash, no drives) are both testable on any
// host; the short forms use the style of the platform the program runs on.
// The platform wrappers live in paths_posix.cpp and paths_win32.cpp.
#ifndef QUILLPACK_BASE_PATHS_H_
#define QUILLPACK_BASE_PATHS_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace qp {

struct path_style {
  char separator;
  bool drive_colon;  // a colon ends a drive prefix (c:) when no separator
};

inline constexpr path_style windows_style{'\\', true};
inline constexpr path_style posix_style{'/', false};

// The style of the platform this build runs on.
extern const path_style native_style;

// ---- Pure string rules (1-based positions, 0 means not found) ----

// Position of the last separator; without one, of the first drive colon.
int last_separator(const std::string& path, path_style style);
// Everything up to and including the last separator; a last component
// beginning with "." makes the whole path a directory (a separator is added).
std::string directory_part(const std::string& path, path_style style);
// The characters after the last separator, empty when they begin with ".".
std::string name_part(const std::string& path, path_style style);
// The path up to and including its last separator, whatever the last
// component looks like: the directory of a path that names a file.
std::string file_directory(const std::string& path, path_style style);
// The last component as it stands, dots included.
std::string file_name(const std::string& path, path_style style);

int last_separator(const std::string& path);
std::string directory_part(const std::string& path);
std::string name_part(const std::string& path);
std::string file_directory(const std::string& path);
std::string file_name(const std::string& path);

// The characters of text that are not allowed in file names (the nine that
// Windows refuses, and control characters), each once, in the order of their
// first occurrence.
std::string bad_file_name_chars(const std::string& text);

std::string trim_left(const std::string& text, const std::string& set);
std::string trim_right(const std::string& text, const std::string& set);
std::string trim(const std::string& text, const std::string& set);

// "a" to "z" only; every other byte is left alone.
std::string ascii_upper(const std::string& text);
std::string ascii_lower(const std::string& text);
inline char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
// Comparisons of ASCII names with letter case ignored ("A" to "Z" only;
// other bytes compare as they are).
bool same_ignoring_case(std::string_view a, std::string_view b);
bool starts_with_ignoring_case(std::string_view text, std::string_view start);
bool ends_with_ignoring_case(std::string_view text, std::string_view end);

bool has_wildcard(const std::string& path);

// The form of a full Windows path that the wide services take at any
// length: "c:\x" as "\\?\c:\x", "\\server\share" as
// "\\?\UNC\server\share"; any other path (relative, a device, one that
// has the prefix already) unchanged.
std::string add_long_prefix(const std::string& full);
// The path as texts show it: the prefix of add_long_prefix taken off.
std::string strip_long_prefix(const std::string& path);

// ---- Platform wrappers; a failing wrapper returns its input unchanged ----

std::string full_path(const std::string& path);
std::string long_path(const std::string& path);
// Ends in a separator; empty when the platform reports none.
std::string temp_directory();

struct space_info {
  int64_t available;  // bytes free to the caller; -1 when the query failed
};
space_info free_space(const std::string& path);

// Case mapping of texts (options, INI names, values): the system's mapping.
std::string to_lower(const std::string& text);
std::string to_upper(const std::string& text);
// Case mapping of paths: the system's mapping on Windows, the identity on
// case-sensitive POSIX file systems, where lowering would name another file.
std::string path_lower(const std::string& path);

int create_directory(const std::string& path);  // 0 or -1
std::string current_directory();                // ends in a separator

struct listing_entry {
  std::string name;
  bool directory = false;
  uint64_t size = 0;
  // POSIX: the identity the listing's stat gave, and whether the entry is a
  // link or one of several hard links of a file; Windows: a reparse point.
  uint64_t volume = 0;
  uint64_t index = 0;
  bool shared = false;
};

// Opens a regular file for reading by its name, at any length and in any
// script; null for anything else (a FIFO, a device, a directory), which
// could hang the reader or never end.
std::FILE* open_regular_file(const std::string& path);

// The platform listing: the contents of a directory (or the entries a
// pattern matches), "." and ".." included; false when nothing can be listed.
bool platform_listing(const std::string& path,
                      std::vector<listing_entry>& entries);

// ---- Operations built on the wrappers ----

bool list_directory(const std::string& path,
                    std::vector<listing_entry>& entries);

enum { KIND_WILDCARD = -1, KIND_NONE = 0, KIND_FILE = 1, KIND_DIRECTORY = 2 };
int path_kind(const std::string& path);

// Size of a file as the listing reports it, -1 when nothing is there.
int64_t file_size(const std::string& path);

// Whether anything at all is at path: a file of any type, a directory, or a
// link, which is not followed (a dangling link or a loop counts).
bool entry_exists(const std::string& path);

// Creates path and every missing parent; 0 on success, -1 on failure. The
// cost grows with the path's length, not with its square.
int create_directory_tree(const std::string& path);

// The device and inode of an existing directory, so that a walk can tell a
// directory it has walked; false when unknown (no such notion on the
// platform, or not a directory).
bool directory_identity(const std::string& path, uint64_t& device,
                        uint64_t& inode);

}  // namespace qp

#endif  // QUILLPACK_BASE_PATHS_H_
