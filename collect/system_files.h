// The files and folders that operating systems leave beside saved mail:
// thumbnail caches, folder settings, Finder data and the AppleDouble
// companions of copies made on FAT drives, shares and in zip files. Pure
// name rules; the packing skips such files without trying them.
#ifndef QUILLPACK_COLLECT_SYSTEM_FILES_H_
#define QUILLPACK_COLLECT_SYSTEM_FILES_H_

#include <cstddef>
#include <string_view>

#include "base/paths.h"

namespace qp {

// Thumbs.db, ehthumbs.db, desktop.ini, .DS_Store, and what mail servers
// keep beside a Maildir's messages (dovecot.*, dovecot-*, courierimap*,
// courierpop3d*, maildirfolder, maildirsize, subscriptions), in any letter
// case.
bool is_system_file_name(std::string_view name);

// A name an AppleDouble companion may have: "._" and more.
bool is_apple_double_name(std::string_view name);
// The bytes an AppleDouble file begins with: 00 05 16 07.
inline constexpr size_t apple_double_signature_size = 4;
bool has_apple_double_signature(const char* bytes, size_t size);

// __MACOSX, .Spotlight-V100, .Trashes, .fseventsd, $RECYCLE.BIN, System
// Volume Information, in any letter case.
bool is_system_folder_name(std::string_view name);
// Whether any component of a relative directory (empty for the root, else
// ending in a separator) is a system folder.
bool is_in_system_folder(std::string_view relative_directory,
                         path_style style = native_style);

}  // namespace qp

#endif  // QUILLPACK_COLLECT_SYSTEM_FILES_H_
