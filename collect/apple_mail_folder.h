// Apple Mail's mailboxes. A folder named "*.mbox" (any case) that holds a
// folder "Messages", an "<id>" folder (in which newer versions keep
// "<id>/Data/.../Messages") or mailboxes of its own is a mailbox: its
// messages are the ".emlx" files of the "Messages" folders below it, and
// not below a nested mailbox, in the order of their leading numbers; they
// form one group named after the folder without ".mbox". Its nested
// mailboxes are its subfolders; "Attachments" folders, which hold the
// parts of partial messages, are never walked; its other files (property
// lists) are the store's own. A plain folder that holds both "Messages"
// and "Attachments" (one copied out of a mailbox) is walked as a plain
// folder, "Attachments" left aside.
#ifndef QUILLPACK_COLLECT_APPLE_MAIL_FOLDER_H_
#define QUILLPACK_COLLECT_APPLE_MAIL_FOLDER_H_

#include <string>
#include <string_view>
#include <vector>

#include "collect/folder_kind.h"

namespace qp {

extern const folder_kind apple_mailbox_folder;

// The kind of a folder of a plain folder: a mailbox, a plain folder that
// keeps Apple Mail's "Attachments" beside its messages, or otherwise
// plain.
const folder_kind& apple_mail_kind(const std::string& name,
                                   const std::vector<listing_entry>& entries,
                                   const folder_kind& plain);

// The name of a subfolder's group: a mailbox without ".mbox", any other
// folder as it is.
std::string apple_mail_group_name(const std::string& name,
                                  const folder_kind& kind);

// Whether file a comes before file b in a mailbox: by the leading number
// of the names (numerically), then by name.
bool apple_message_before(std::string_view a, std::string_view b);

}  // namespace qp

#endif  // QUILLPACK_COLLECT_APPLE_MAIL_FOLDER_H_
