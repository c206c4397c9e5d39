// The Maildir: a folder with "cur" and "new" subfolders, whose files are its
// messages, one list in listing order, packed as the Maildir's own; "tmp"
// holds messages still being delivered and is never walked. Its Maildir++
// subfolders (".Sent", ".Work.Projects") are named without the leading
// dot, each further dot a level, their names decoded from IMAP's modified
// UTF-7.
#ifndef QUILLPACK_COLLECT_MAILDIR_FOLDER_H_
#define QUILLPACK_COLLECT_MAILDIR_FOLDER_H_

#include <string>
#include <string_view>
#include <vector>

#include "collect/folder_kind.h"

namespace qp {

extern const folder_kind maildir_folder;

// Whether a folder's listing makes it a Maildir.
bool is_maildir_listing(const std::vector<listing_entry>& entries);

// IMAP's modified UTF-7 ("&AMQ-rger") as UTF-8; false when text is not
// well formed in it, or names a character no file name can hold.
bool decode_modified_utf7(std::string_view text, std::string& out);

// The levels of a Maildir++ folder's group name, each ending in a
// separator: ".Work.Projects" gives "Work/Projects/". A name that cannot be
// split so (an empty level) is one level without its dot, and a level that
// cannot be decoded keeps its letters.
std::string maildir_plus_group_name(const std::string& name);

// The name a Maildir given as the source is known by: a Maildir++ folder's
// without its leading dot, decoded, its further dots kept.
std::string maildir_source_name(const std::string& name);

}  // namespace qp

#endif  // QUILLPACK_COLLECT_MAILDIR_FOLDER_H_
